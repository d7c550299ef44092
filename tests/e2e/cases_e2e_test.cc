// Whole runs of kry written down as cases in tests/e2e/cases/*.cases; the
// README there tells the format.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <iomanip>

#include "support/sandbox.h"

namespace kry_test {
namespace {

using Words = std::vector<std::string>;

struct Case {
  std::string where, title, input, typesetter, typesetterSays, abc2midi;
  std::vector<std::pair<std::string, std::string>> before, after, afterHas;  // file name, content (or a piece of it)
  std::vector<std::pair<std::string, std::string>> links;  // name, where it leads
  Words dirs, args, fifos, absent;
  int status = 0;
  std::map<std::string, std::string> texts;  // "stdout", "stdout has", "stderr", "stderr has"
  std::optional<Words> files, typeset;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.where << " " << c.title; }

const std::string kCasesDir = sourceDir() + "/tests/e2e/cases";
const std::string kOnePage = "%!PS\n/Helvetica 24 selectfont 72 700 moveto (kry) show showpage\n";  // a PostScript file

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

Words split(const std::string& text) {  // at blanks; "..." is one word
  Words words;
  std::istringstream in(text);
  for (std::string word; in >> std::quoted(word);) words.push_back(word);
  return words;
}

std::string blockText(const Words& block, const std::string& kind) {
  std::string text;
  for (std::string line : block) {
    if (line.size() > 1 && line[0] == '@' && line.find(' ') == std::string::npos) {
      std::string file = kCasesDir + "/expected/" + line.substr(1) + ".txt";
      if (!fs::exists(file)) throw std::runtime_error("no file " + file);
      text += readFile(file);
      continue;
    }
    bool ends = line.size() < 2 || line.substr(line.size() - 2) != "\\c";
    if (!ends || (!line.empty() && line.back() == '$')) line.resize(line.size() - (ends ? 1 : 2));
    text += line + (ends ? "\n" : "");
  }
  return kind == "crlf" ? replaceAll(text, "\n", "\r\n") : text;
}

std::vector<Case> loadCases() {
  std::vector<Case> cases;
  std::vector<fs::path> paths;
  for (const auto& entry : fs::directory_iterator(kCasesDir))
    if (entry.path().extension() == ".cases") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  for (const fs::path& path : paths) {
    Words all = lines(readFile(path.string()));
    for (std::size_t n = 0; n < all.size(); ++n) {
      std::string where = path.filename().string() + ":" + std::to_string(n + 1), line = all[n];
      if (line.empty() || line[0] == '#') continue;
      if (line.rfind("=== ", 0) == 0) {
        cases.emplace_back();
        cases.back().where = where;
        cases.back().title = line.substr(4);
        continue;
      }
      Words block;
      for (std::size_t at = 0, quotes = 0; at < line.size(); ++at) {  // a block of one line after " | " on its keyword's line
        if (line[at] == '"' && (at == 0 || line[at - 1] != '\\')) ++quotes;
        if (quotes % 2 == 0 && line.compare(at, 3, " | ") == 0) {
          block.push_back(line.substr(at + 3));
          line.resize(at);
        }
      }
      Words words = split(line);
      for (; n + 1 < all.size() && !all[n + 1].empty() && all[n + 1][0] == '|'; ++n) block.push_back(all[n + 1].substr(std::min<std::size_t>(2, all[n + 1].size())));
      std::string text = blockText(block, words.back()), key = words[0];
      if (cases.empty()) throw std::runtime_error(where + ": no case started");
      Case& c = cases.back();
      Words rest(words.begin() + 1, words.end());
      if (key == "file") c.before.emplace_back(rest.at(0), text);
      else if (key == "dir") c.dirs.push_back(rest.at(0));
      else if (key == "link") c.links.emplace_back(rest.at(0), rest.at(1));
      else if (key == "fifo") c.fifos.push_back(rest.at(0));
      else if (key == "absent") c.absent.push_back(rest.at(0));
      else if (key == "run") c.args = rest;
      else if (key == "stdin") c.input = text;
      else if (key == "typesetter") c.typesetter = line.substr(11), c.typesetterSays = text;
      else if (key == "abc2midi") c.abc2midi = rest.at(0) == "exits" ? rest.at(1) : rest.at(0);
      else if (key == "status") c.status = std::stoi(rest.at(0));
      else if (key == "stdout" || key == "stderr") c.texts[rest.empty() ? key : key + " has"] = text;
      else if (key == "files") c.files = rest;
      else if (key == "typeset") c.typeset = rest;
      else if (key == "expect" && rest.size() > 1 && rest[1] == "has") c.afterHas.emplace_back(rest.at(0), text);
      else if (key == "expect") c.after.emplace_back(rest.at(0), text);
      else throw std::runtime_error(where + ": unknown line: " + line);
    }
  }
  return cases;
}

// The conversion byte for byte: golden/TUNE.txt, and golden/TUNE.OPTIONS.txt the
// converted tune under OPTIONS ("plain" for none, "_" for a blank): tunes written to show the tab.
std::vector<Case> goldenCases() {
  std::vector<Case> cases;
  for (const auto& entry : fs::directory_iterator(kCasesDir + "/golden")) {
    std::string name = entry.path().stem().string();
    std::size_t dot = name.find('.');
    if (dot == std::string::npos) continue;
    std::string tune = name.substr(0, dot), options = replaceAll(name.substr(dot + 1), "_", " ");
    Case c;
    c.where = "golden." + name;
    c.title = tune + " under " + options;
    c.before.emplace_back("t.abc", readFile(kCasesDir + "/golden/" + tune + ".txt"));
    c.args = split("t debug " + (options == "plain" ? "" : options));
    c.after.emplace_back("TEMP.ABC", replaceAll(readFile(entry.path().string()), "\n", "\r\n"));
    cases.push_back(c);
  }
  std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.where < b.where; });
  return cases;
}

class Cases : public ::testing::TestWithParam<Case> {};

TEST_P(Cases, RunAsWrittenDown) {
  const Case& c = GetParam();
  Sandbox box;
  for (const std::string& dir : c.dirs) fs::create_directories(box.path(dir));
  for (const auto& [name, content] : c.before) box.write(name, content);
  for (const auto& [name, target] : c.links) fs::create_symlink(target, box.path(name));
  for (const std::string& name : c.fifos) ::mkfifo(box.path(name).c_str(), 0644);
  if (c.typesetter == "absent" || c.typesetter == "beside") box.runKryAlone(c.typesetter == "beside");
  if (c.typesetter.rfind("exits ", 0) == 0) box.tellTypesetter("status", c.typesetter.substr(6));
  if (c.typesetter.find("writes") != std::string::npos) box.tellTypesetter("ps", kOnePage);
  if (c.typesetter == "says") box.tellTypesetter("says", c.typesetterSays);
  if (c.typesetter == "real") box.useTypesetter(ABCTAB2PS_BINARY);
  if (c.abc2midi == "absent") box.hidePrograms();
  if (!c.abc2midi.empty() && c.abc2midi != "absent" && c.abc2midi != "real") box.fakeMidi(c.abc2midi == "fake" ? 0 : std::stoi(c.abc2midi));

  RunResult result = box.run(c.args, c.input);

  EXPECT_EQ(result.status, c.status) << result.out << result.err;
  for (const auto& [which, text] : c.texts) {
    const std::string& got = which.rfind("stdout", 0) == 0 ? result.out : result.err;
    if (which.size() > 6) { EXPECT_NE(got.find(text), std::string::npos) << which << ":\n" << got; }
    else { EXPECT_EQ(got, text) << which; }
  }
  if (c.files) { EXPECT_EQ(box.files(), *c.files); }
  if (c.typeset) { EXPECT_EQ(box.typesetterArgs().value_or(Words{"none"}), *c.typeset); }
  for (const auto& [name, content] : c.after) {
    bool there = name == "typeset" ? box.typesetterArgs().has_value() : fs::exists(box.path(name));
    EXPECT_TRUE(there) << name << " is missing";
    EXPECT_EQ(name == "typeset" ? box.typesetterTune() : box.read(name), content) << name;
  }
  for (const std::string& name : c.absent) {
    std::error_code ec;
    EXPECT_FALSE(fs::exists(fs::symlink_status(box.path(name), ec))) << name << " was made";
  }
  for (const auto& [name, piece] : c.afterHas) {
    const std::string got = name == "typeset" ? box.typesetterTune() : box.read(name);
    EXPECT_NE(got.find(piece), std::string::npos) << name << " lacks:\n" << piece;
  }
  bool lockIsTune = std::any_of(c.before.begin(), c.before.end(), [](const auto& file) { return file.first == "KRY97.LCK"; }) ||
                    std::find(c.fifos.begin(), c.fifos.end(), "KRY97.LCK") != c.fifos.end();
  EXPECT_EQ(fs::exists(box.path("KRY97.LCK")), lockIsTune) << "the directory lock outlived the run";
}

// The case's file and title in one word: "run_TheRoadOfOneTune_0".
std::string testName(const ::testing::TestParamInfo<Case>& info) {
  std::string title;
  for (const std::string& word : split(replaceAll(info.param.title, "\"", " ")))
    for (std::size_t k = 0; k < word.size(); ++k)
      title += std::isalnum(static_cast<unsigned char>(word[k])) ? (k == 0 ? static_cast<char>(std::toupper(word[0])) : word[k]) : '_';
  return info.param.where.substr(0, info.param.where.find('.')) + "_" + title + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Written, Cases, ::testing::ValuesIn(loadCases()), testName);
INSTANTIATE_TEST_SUITE_P(Golden, Cases, ::testing::ValuesIn(goldenCases()), testName);

}  // namespace
}  // namespace kry_test
