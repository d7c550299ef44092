#include "harness.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {

namespace fs = std::filesystem;

Scratch::Scratch() {
  std::string pattern = (fs::temp_directory_path() / "typeset-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  dir_ = pattern;
}

Scratch::~Scratch() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void Scratch::write(const std::string& name, const std::string& text) const {
  std::ofstream(path(name), std::ios::binary) << text;
}

std::string Scratch::read(const std::string& name) const {
  std::ifstream in(path(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Scratch::exists(const std::string& name) const { return fs::exists(path(name)); }

std::vector<std::string> Scratch::files() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Ran Scratch::run(const std::string& cmdline) const {
  const std::string bindir = fs::path(ABCTAB2PS_BINARY).parent_path().string();
  const std::string out = dir_ + "/../" + fs::path(dir_).filename().string() + ".out";
  const std::string err = dir_ + "/../" + fs::path(dir_).filename().string() + ".err";
  const std::string full = "cd " + quote(dir_) + " && PATH=" + quote(bindir) + ":\"$PATH\" " + cmdline +
                           " </dev/null >" + quote(out) + " 2>" + quote(err);
  Ran r;
  const int st = std::system(full.c_str());
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream o(out), e(err);
  std::ostringstream os, es;
  os << o.rdbuf();
  es << e.rdbuf();
  r.out = os.str();
  r.err = es.str();
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

bool have(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

namespace {

std::string capture(const std::string& cmdline) {
  std::string text;
  FILE* p = popen(cmdline.c_str(), "r");
  if (!p) return text;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  pclose(p);
  return text;
}

std::string attr(const std::string& tag, const std::string& name) {
  const auto at = tag.find(name + "=\"");
  if (at == std::string::npos) return {};
  const auto from = at + name.size() + 2;
  return tag.substr(from, tag.find('"', from) - from);
}

}  // namespace

bool gsrenders(const std::string& ps) {
  const std::string cmd = "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage " + quote(ps) + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

int gspages(const std::string& ps) {
  const std::string text =
      capture("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=bbox " + quote(ps) + " 2>&1");
  int pages = 0;
  for (std::size_t at = 0; (at = text.find("%%HiResBoundingBox", at)) != std::string::npos; ++at) ++pages;
  return pages;
}

std::vector<std::string> firstfrets(const std::string& ps) {
  // txtwrite's XML: one <span> per run of text, with its font and box;
  // the fret numbers are the Helvetica-Bold runs made of digits.
  const std::string xml = capture("gs -q -dSAFER -dNOPAUSE -dBATCH -dFirstPage=1 -dLastPage=1 "
                                  "-sDEVICE=txtwrite -dTextFormat=0 -o - " + quote(ps) + " 2>/dev/null");
  struct Num {
    int x, y;
    std::string text;
  };
  std::vector<Num> nums;
  std::size_t at = 0;
  while ((at = xml.find("<span ", at)) != std::string::npos) {
    const auto end = xml.find("</span>", at);
    const std::string span = xml.substr(at, end - at);
    at = end;
    if (attr(span, "font") != "Helvetica-Bold") continue;
    std::string text;
    for (std::size_t c = 0; (c = span.find(" c=\"", c)) != std::string::npos; c += 4) text += span[c + 4];
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) continue;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::sscanf(attr(span, "bbox").c_str(), "%d %d %d %d", &x0, &y0, &x1, &y1);
    nums.push_back({(x0 + x1) / 2, y0, text});
  }
  if (nums.empty()) return {};
  int top = nums[0].y;
  for (const auto& n : nums) top = std::min(top, n.y);
  std::vector<Num> staff;
  for (const auto& n : nums) {
    if (n.y <= top + 35) staff.push_back(n);
  }
  std::stable_sort(staff.begin(), staff.end(), [](const Num& a, const Num& b) {
    if (std::abs(a.x - b.x) > 2) return a.x < b.x;
    return a.y < b.y;
  });
  std::vector<std::string> out;
  for (const auto& n : staff) out.push_back(n.text);
  return out;
}

std::vector<std::string> firstbar(const std::string& tune) {
  const auto at = tune.find("[V:G]");
  if (at == std::string::npos) return {};
  const std::string line = tune.substr(at + 5, tune.find_first_of("\r\n", at) - at - 5);
  const std::string letters = "abcdefghikl";
  std::vector<std::string> out;
  bool seen = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '|' || c == ':') {
      if (seen) break;
      continue;
    }
    if (c == '!') {  // a decoration's letters are no frets
      const auto close = line.find('!', i + 1);
      if (close == std::string::npos) break;
      i = close;
      continue;
    }
    const auto f = letters.find(c);
    if (f != std::string::npos) {
      out.push_back(std::to_string(f));
      seen = true;
    }
    if (c == 'z') seen = true;
  }
  return out;
}

}  // namespace e2e
