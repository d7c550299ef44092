#include "typeset/run.h"

#include <gtest/gtest.h>

#include <map>

namespace typeset {
namespace {

// Files in memory and a pretend abcm2ps.
class FakePlatform : public Platform {
 public:
  std::map<std::string, std::string> files;
  bool engraver = true;
  int status = 0;            // what abcm2ps exits with
  bool writes = true;        // whether it writes its PostScript
  std::string log;           // what it says
  std::vector<std::string> said, warned, removed, ran;

  std::optional<std::string> readfile(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
  bool writefile(const std::string& path, const std::string& text) override {
    files[path] = text;
    return true;
  }
  std::optional<std::string> findprog(const std::string& name) override {
    if (!engraver) return std::nullopt;
    return "/bin/" + name;
  }
  std::optional<std::string> maketemp() override { return std::string("tmp"); }
  void removetemp(const std::string& dir) override {
    removed.push_back(dir);
    for (auto it = files.begin(); it != files.end();) {
      it = it->first.rfind(dir + "/", 0) == 0 ? files.erase(it) : std::next(it);
    }
  }
  int run(const std::string& prog, const std::vector<std::string>& args, const std::string& dir,
          const std::string& logfile) override {
    ran.push_back(prog);
    for (const auto& a : args) ran.push_back(a);
    files[logfile] = log;
    if (writes) files[dir + "/tune.ps"] = "%!PS\n%%Page: 1 1\nshowpage\n%%Trailer\n%EOF\n";
    return status;
  }
  bool install(const std::string& from, const std::string& to) override {
    files[to] = files.at(from);
    return true;
  }
  void say(const std::string& line) override { said.push_back(line); }
  void warn(const std::string& line) override { warned.push_back(line); }
};

const char* const kTune = "\r\nX:1\r\nK:G\r\nV:G clef=guitartab\r\n[V:G] |:,,a2 |\r\n";

TEST(Run, WritesThePostScriptAndCleansUp) {
  FakePlatform fp;
  fp.files["TEMP.ABC"] = kTune;
  EXPECT_EQ(typeset({"TEMP.ABC", "-1", "-O", "reel."}, fp), 0);
  EXPECT_TRUE(fp.files.count("reel.ps"));
  EXPECT_EQ(fp.removed, std::vector<std::string>{"tmp"});
  EXPECT_FALSE(fp.files.count("tmp/tune.abc"));
  ASSERT_EQ(fp.said.size(), 1u);
  EXPECT_EQ(fp.said[0], "abctab2ps: wrote reel.ps (1 tune, 1 page)");
  EXPECT_EQ(fp.ran, (std::vector<std::string>{"/bin/abcm2ps", "-q", "-1", "-O", "tune.ps", "tune.abc"}));
}

TEST(Run, Refusals) {
  const struct {
    std::vector<std::string> args;
    bool input, engraver, writes;
    int status;
    int exit;
    const char* first_warning;
  } rows[] = {
      {{"TEMP.ABC", "-z"}, true, true, true, 0, 2, "abctab2ps: unknown option -z"},
      {{"NONE.ABC", "-1"}, false, true, true, 0, 1, "abctab2ps: cannot read the input file NONE.ABC"},
      {{"TEMP.ABC", "-1"}, true, false, true, 0, 1,
       "abctab2ps: abcm2ps, the engraver we typeset with, is not on the PATH; "
       "install the package abcm2ps (apt-get install abcm2ps)"},
      {{"TEMP.ABC", "-1"}, true, true, false, 1, 1,
       "abctab2ps: abcm2ps failed (exit status 1); no PostScript file written"},
      {{"TEMP.ABC", "-1"}, true, true, true, 3, 1,
       "abctab2ps: abcm2ps failed (exit status 3); no PostScript file written"},
      {{"TEMP.ABC", "-1"}, true, true, true, -1, 1,
       "abctab2ps: abcm2ps failed (killed or not started); no PostScript file written"},
  };
  for (const auto& r : rows) {
    FakePlatform fp;
    if (r.input) fp.files["TEMP.ABC"] = kTune;
    fp.engraver = r.engraver;
    fp.writes = r.writes;
    fp.status = r.status;
    EXPECT_EQ(typeset(r.args, fp), r.exit) << r.first_warning;
    ASSERT_FALSE(fp.warned.empty());
    EXPECT_EQ(fp.warned[0], r.first_warning);
    EXPECT_FALSE(fp.files.count("Out.ps"));
    EXPECT_TRUE(fp.said.empty());
    for (const auto& f : fp.files) EXPECT_NE(f.first.rfind("tmp/", 0), 0u) << f.first;
  }
}

TEST(Run, AbcmMessagesPointAtOurLines) {
  const std::vector<int> origin{0, 0, 5, 6};
  const std::string log =
      "abcm2ps-8.14.14 (2022-12-19)\nFile tune.abc\n"
      "tune.abc:4:7: error: Not a note\n   4 [V:M] ab&\n         ^\n"
      "tune.abc:3:0: warning: Line underfull (505pt of 682pt)\n";
  EXPECT_EQ(mapmessages(log, "TEMP.ABC", origin), "abcm2ps: TEMP.ABC:6: error: Not a note\n");
}

TEST(Run, PageCount) {
  EXPECT_EQ(pagecount("%!PS\n%%Page: 1 1\nx\n%%Page: 2 2\n%%Pages: 2\n"), 2);
  EXPECT_EQ(pagecount("%!PS\n"), 0);
}

}  // namespace
}  // namespace typeset
