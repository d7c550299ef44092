// abctab2ps as a command, alone and run by kry, each run in a scratch
// directory; the PostScript is read back through Ghostscript.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;
const std::string kBin = ABCTAB2PS_BINARY, kKry = KRY_BINARY, kTests = TESTS_DIR;

std::string slurp(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The tools a test needs: without one it fails, naming it.
#define NEED(...) for (const std::string tool : std::initializer_list<std::string>{__VA_ARGS__}) \
  ASSERT_EQ(std::system(("command -v '" + tool + "' >/dev/null").c_str()), 0) << tool << " is missing; scripts/setup.sh --tests installs abcm2ps and gs"

struct Ran { int status; std::string out, err; };  // status: 128 + the signal for a run killed

// A fresh directory, gone with the object; commands run in it with abctab2ps first on PATH.
struct Scratch {
  std::string dir = (fs::temp_directory_path() / "typeset-e2e-XXXXXX").string();
  Scratch() { EXPECT_TRUE(mkdtemp(dir.data())); }
  ~Scratch() { fs::remove_all(dir); }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  void write(const std::string& name, const std::string& text, bool program = false) const {
    fs::create_directories(fs::path(path(name)).parent_path());
    std::ofstream(path(name), std::ios::binary) << text;
    if (program) fs::permissions(path(name), fs::perms::owner_all);
  }
  Ran run(const std::string& cmdline) const {
    const int st = std::system(("cd '" + dir + "' && export PATH='" + fs::path(kBin).parent_path().string() + "':\"$PATH\" && { " +
                                cmdline + "; } </dev/null >'" + dir + ".out' 2>'" + dir + ".err'").c_str());
    Ran r{WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), slurp(dir + ".out"), slurp(dir + ".err")};
    fs::remove(dir + ".out"), fs::remove(dir + ".err");
    return r;
  }
};

// The first n fret numbers of the first tab staff on page 1, left to right and top course
// first: the runs of Helvetica-Bold digits nearest the top that Ghostscript finds.
std::vector<std::string> firstfrets(const Scratch& s, const std::string& ps, std::size_t n) {
  const std::string xml = s.run("gs -q -dSAFER -dLastPage=1 -sDEVICE=txtwrite -dTextFormat=0 -o - " + ps).out;
  const std::regex span(R"re(<span bbox="(\d+) (\d+) (\d+) \d+" font="Helvetica-Bold"[^>]*>\s*((<char [^>]*c="\d"/>\s*)+)</span>)re");
  struct Num { int x, y; std::string digits; };
  std::vector<Num> nums;
  for (std::sregex_iterator m(xml.begin(), xml.end(), span), end; m != end; ++m) {
    const std::string digits = std::regex_replace((*m)[4].str(), std::regex(R"re(<char [^>]*c="(\d)"/>\s*)re"), "$1");
    nums.push_back({(std::stoi((*m)[1]) + std::stoi((*m)[3])) / 2, std::stoi((*m)[2]), digits});
  }
  const int top = nums.empty() ? 0 : std::ranges::min_element(nums, {}, &Num::y)->y;
  std::erase_if(nums, [top](const Num& d) { return d.y > top + 35; });
  std::stable_sort(nums.begin(), nums.end(), [](const Num& a, const Num& b) { return std::abs(a.x - b.x) > 2 ? a.x < b.x : a.y < b.y; });
  std::vector<std::string> out;
  for (std::size_t i = 0; i < n && i < nums.size(); ++i) out.push_back(nums[i].digits);
  return out;
}

// The tab staffs on page 1 and the sizes of the first one's TAB mark and meter, as
// "2 T 9.0675 4 15.6000": the Helvetica-Bold T's, the lowest of the Times-Bold digits.
std::string marks(const Scratch& s, const std::string& ps) {
  const std::string xml = s.run("gs -q -dSAFER -dLastPage=1 -sDEVICE=txtwrite -dTextFormat=0 -o - " + ps).out;
  const std::regex span(R"re(<span bbox="\d+ (\d+) [^"]*" font="(Helvetica-Bold|Times-Bold)" size="([\d.]+)">\s*<char [^>]*c="([T\d])"/>)re");
  std::string tab, meter;
  int lowest = -1, staffs = 0;
  for (std::sregex_iterator m(xml.begin(), xml.end(), span), end; m != end; ++m) {
    if ((*m)[2] == "Helvetica-Bold" && (*m)[4] == "T" && staffs++ == 0) tab = "T " + (*m)[3].str();
    if ((*m)[2] == "Times-Bold" && std::stoi((*m)[1]) > lowest) lowest = std::stoi((*m)[1]), meter = (*m)[4].str() + " " + (*m)[3].str();
  }
  return std::to_string(staffs) + " " + tab + " " + meter;
}

// Tunes written by hand the way kry writes them, one file or more: the pages, the
// first bar's frets, the tab staffs on page 1 and the sizes of the TAB mark and the
// meter on the tab staff (on four courses sized to them) of the PostScript file
// abctab2ps writes, and nothing else. A tune that fits on a page is never split.
TEST(Abctab2ps, EngravesTabStaffs) {
  NEED("abcm2ps", "gs");
  const struct { const char *tune, *args, *ps; std::vector<std::string> frets; int pages; const char* marks; } rows[] = {
      {"reel.abc", "TEMP.ABC -1 -O reel.", "reel.ps", {"0", "2", "0", "0", "0", "0", "1"}, 1, "2 T 9.0675 4 15.6000"},
      {"jig.abc", "TEMP.ABC -1 -O jig -t _2 -s 1.2", "jig.ps", {"0", "4", "2", "4", "0"}, 1, "1 T 6.5286 8 14.0400"},  // mandolin
      {"reel.abc reel.abc", "-1 TEMP.ABC", "Out.ps", {"0", "2", "0", "0", "0", "0", "1"}, 2, "2 T 9.0675 4 15.6000"},
      {"six.abc", "TEMP.ABC -1", "Out.ps", {"0", "2", "0", "0", "0", "0", "1"}, 1, "6 T 9.0675 4 15.6000"},  // fits on its page to the margin
      {"reel.abc six.abc", "TEMP.ABC", "Out.ps", {"0", "2", "0", "0", "0", "0", "1"}, 2, "2 T 9.0675 4 15.6000"},  // six moves whole to page 2
  };
  for (const auto& r : rows) {
    Scratch s;
    s.run("cd '" + kTests + "/typeset/data' && cat " + r.tune + " >'" + s.path("TEMP.ABC") + "'");
    const Ran ran = s.run(std::string("abctab2ps ") + r.args), box = s.run(std::string("gs -q -dSAFER -sDEVICE=bbox -o - ") + r.ps);
    EXPECT_EQ(ran.status, 0) << r.tune << ran.err;
    EXPECT_EQ(s.run("ls | grep -vx TEMP.ABC").out, r.ps + std::string("\n")) << r.tune;  // and nothing else
    EXPECT_EQ(box.status, 0) << r.tune;  // Ghostscript reads it to the end without an error
    EXPECT_EQ(count(box.err, "%%HiResBoundingBox"), r.pages) << r.tune;
    EXPECT_EQ(firstfrets(s, r.ps, r.frets.size()), r.frets) << r.tune;
    EXPECT_EQ(marks(s, r.ps), r.marks) << r.tune;
  }
}

// What only a real run shows (typeset_test.cc has every way a run ends): the
// temporary directory really gone after a failure and after an interrupt,
// both output streams of abcm2ps read, and an abcm2ps killed seen as killed.
TEST(Abctab2ps, FailuresAndInterruptsLeaveNothing) {
  const struct { std::string abcm2ps; int status; const char* says; } rows[] = {
      {"echo half > tune.ps; echo broken; echo badly >&2; exit 2", 1, "abcm2ps: broken\nabcm2ps: badly\nabctab2ps: abcm2ps failed"},
      {"kill -9 $$", 1, "abctab2ps: abcm2ps failed (killed or not started)"},
      {"echo half > tune.ps; kill -TERM $PPID", 128 + 15, ""},  // the user interrupts
  };
  for (const auto& r : rows) {
    Scratch s;
    s.write("TEMP.ABC", "X:1\r\nK:C\r\n");
    s.write("bin/abcm2ps", "#!/bin/sh\n" + r.abcm2ps + "\n", true);
    fs::create_directory(s.path("tmp"));
    const Ran ran = s.run("PATH=bin:\"$PATH\" TMPDIR=tmp abctab2ps TEMP.ABC -1 -O x");
    EXPECT_EQ(ran.status, r.status) << r.abcm2ps << "\n" << ran.err;
    EXPECT_NE(ran.err.find(r.says), std::string::npos) << r.abcm2ps << "\n" << ran.err;
    EXPECT_EQ(s.run("find * | LC_ALL=C sort").out, "TEMP.ABC\nbin\nbin/abcm2ps\ntmp\n") << r.abcm2ps;
  }
}

// The text Ghostscript finds on a page, each line trimmed and its blanks made one, lines joined by " / ".
std::string pagetext(const Scratch& s, const std::string& ps) {
  std::istringstream text(s.run("gs -q -dSAFER -sDEVICE=txtwrite -dTextFormat=3 -o - " + ps).out);
  std::string out;
  for (std::string line; std::getline(text, line);) {
    line = std::regex_replace(std::regex_replace(line, std::regex("[ \\r]+"), " "), std::regex("^ | $"), "");
    if (!line.empty()) out += (out.empty() ? "" : " / ") + line;
  }
  return out;
}

// data/found.txt: small tunes through kry and abctab2ps; for each, the tab lines kry
// writes and every message of the typesetter as kry passes it on, text on its page,
// and procedures its PostScript must not call.
TEST(KryAndAbctab2psOn, WhatWasFound) {
  NEED("abcm2ps", "gs", kKry);
  std::istringstream in(slurp(kTests + "/typeset/data/found.txt") + "==\n");
  std::string options, tune, said;
  std::vector<std::string> page, absent;
  for (std::string line; std::getline(in, line);) {
    const std::string kind = line.substr(0, line.find(' ') + 1), rest = line.substr(kind.size());
    if (kind == "tab " || kind == "err ") said += line + "\n";
    else if (kind == "page ") page.push_back(rest);
    else if (kind == "not ") absent.push_back(rest);
    else if (line.rfind("==", 0) != 0 && line[0] != '#') tune += line + "\n";
    if (line.rfind("==", 0) != 0) continue;
    if (tune.find_first_not_of('\n') != std::string::npos) {
      Scratch s;
      s.write("tune.abc", tune);
      const Ran r = s.run(kKry + " tune debug" + options);
      std::string got;
      std::istringstream temp(slurp(s.path("TEMP.ABC"))), out(r.out), err(r.err);
      for (std::string l; std::getline(temp, l);) if (l.rfind("[V:G]", 0) == 0) got += "tab " + l.substr(0, l.find('\r')) + "\n";
      for (std::string l; std::getline(out, l);) if (l.rfind(" tune.abc", 0) == 0 || l.find(" from the typesetter") != std::string::npos) got += "err " + l + "\n";
      for (std::string l; std::getline(err, l);) if (l.rfind("abctab2ps:", 0) == 0 || l.rfind("abcm2ps:", 0) == 0) got += "err " + l + "\n";
      EXPECT_EQ(got, said) << tune;
      const std::string text = pagetext(s, "tune.ps"), ps = slurp(s.path("tune.ps"));
      for (const std::string& p : page) EXPECT_NE(text.find(p), std::string::npos) << p << " not on the page of\n" << tune << text;
      for (const std::string& a : absent) EXPECT_EQ(ps.find(" " + a), std::string::npos) << a << " called in the PostScript of\n" << tune;
      if (options.find("pdf") != std::string::npos) { EXPECT_EQ(s.run("gs -q -dNODISPLAY -dNOSAFER -c \"(tune.pdf) (r) file runpdfbegin pdfpagecount = quit\"").out, std::to_string(count(ps, "%%Page: ")) + "\n"); }
    }
    options = line.substr(2), tune.clear(), said.clear(), page.clear(), absent.clear();
  }
}

// Every book of the corpus, the example and our reel, each converted whole by kry
// under an option set (with skip, leaving out a tune that can't be placed) and
// typeset by our abctab2ps: no tab staff runs longer or shorter than its melody
// line, and each tune starts a page of its own. (The frets on the page are read
// back from the tunes written by hand above and from data/found.txt.)
class KryAndAbctab2ps : public ::testing::TestWithParam<std::string> {};

TEST_P(KryAndAbctab2ps, EngraveEveryBookInTime) {
  NEED("abcm2ps", "gs", kKry);
  std::vector<std::string> books{kTests + "/typeset/data/reel-input.abc"};
  for (const std::string& dir : {kTests + "/corpus", kTests + "/../examples"})
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".abc") books.push_back(entry.path().string());
  int kept = 0;
  for (const std::string& book : books) {
    Scratch s;
    fs::copy_file(book, s.path("book.abc"));
    const Ran r = s.run(kKry + " book debug skip " + GetParam()), box = s.run("gs -q -dSAFER -sDEVICE=bbox -o - book.ps");
    const std::string tune = slurp(s.path("TEMP.ABC")), want = "wrote book.ps (" + std::to_string(count(tune, "\nX:")) + " tune";
    kept += count(tune, "\nX:");
    EXPECT_NE(r.out.find(want), std::string::npos) << book << "\n" << r.out << r.err;
    EXPECT_EQ(count(r.out + r.err, " runs "), 0) << book << "\n" << r.out << r.err;
    EXPECT_EQ(box.status, 0) << book;
    EXPECT_EQ(count(slurp(s.path("book.ps")), "\n% --- xref "), count(tune, "\nX:")) << book;
    EXPECT_GE(count(box.err, "%%HiResBoundingBox"), count(tune, "\nX:")) << book;
  }
  EXPECT_GE(kept, 570) << "a few tunes hold notes out of reach or a second voice";
}

INSTANTIATE_TEST_SUITE_P(OptionSets, KryAndAbctab2ps, ::testing::Values("", "f", "m r -2", "m -2 f"));

// Tunes in several voices, typeset in time: the jigs book whole, without
// skip (Goat on the Hill is a duet in part C), and the voices book with its
// first voice tabbed and with its second.
TEST(KryAndAbctab2ps, TunesInSeveralVoicesInTime) {
  NEED("abcm2ps", "gs", kKry);
  const struct { const char *book, *options; int tunes; } runs[] = {
      {"jigs.abc", "", 340}, {"voices.abc", "", 8}, {"voices.abc", " voice=1", 8}, {"voices.abc", " voice=2 skip", 6}};
  for (const auto& [book, options, tunes] : runs) {
    Scratch s;
    fs::copy_file(kTests + "/corpus/" + book, s.path("book.abc"));
    const Ran r = s.run(kKry + " book debug" + options);
    const std::string tune = slurp(s.path("TEMP.ABC"));
    EXPECT_NE(r.out.find("wrote book.ps (" + std::to_string(tunes) + " tune"), std::string::npos) << book << options;
    EXPECT_EQ(count(r.out + r.err, " runs "), 0) << book << options << "\n" << r.out;
    EXPECT_EQ(count(tune, "\nX:"), tunes) << book << options;
  }
}

}  // namespace
