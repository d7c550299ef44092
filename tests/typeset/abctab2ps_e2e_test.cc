// abctab2ps alone, on tunes written by hand the way kry writes them.
#include <gtest/gtest.h>

#include "harness.h"

namespace e2e {
namespace {

const std::string kBin = ABCTAB2PS_BINARY;
const std::string kData = std::string(TYPESET_TEST_DIR) + "/data";

#define NEED_ENGRAVER()                                                        \
  if (!have("abcm2ps") || !have("gs")) GTEST_FAIL() << "abcm2ps or gs (Ghostscript) is missing: scripts/setup.sh --tests installs them"

std::string slurp(const std::string& path) {
  Scratch s;
  return s.run("cat " + quote(path)).out;
}

TEST(Abctab2ps, GuitarTuneGivesOnePageWithTheFirstBarsFrets) {
  NEED_ENGRAVER();
  Scratch s;
  const std::string tune = slurp(kData + "/reel.abc");
  s.write("TEMP.ABC", tune);
  const Ran r = s.run("abctab2ps TEMP.ABC -1 -O reel.");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "abctab2ps: wrote reel.ps (1 tune, 1 page)\n");
  ASSERT_TRUE(s.exists("reel.ps"));
  EXPECT_TRUE(gsrenders(s.path("reel.ps")));
  EXPECT_EQ(gspages(s.path("reel.ps")), 1);
  const auto want = firstbar(tune);
  ASSERT_EQ(want, (std::vector<std::string>{"0", "2", "0", "0", "0", "0", "1"}));
  const auto got = firstfrets(s.path("reel.ps"));
  ASSERT_GE(got.size(), want.size());
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + want.size()), want);
  EXPECT_EQ(s.files(), (std::vector<std::string>{"TEMP.ABC", "reel.ps"}));
}

TEST(Abctab2ps, MandolinTransposedScaledWithoutFlags) {
  NEED_ENGRAVER();
  Scratch s;
  s.write("TEMP.ABC",
          "\r\nX:1\r\nT:Jig\r\nM:6/8\r\nL:1/8\r\nK:D\r\nV:M clef=treble\r\n%\r\n%\r\n"
          "V:G clef=spanish4tab\r\n%%staffsep 2cm\r\n%%tabrhstyle none\r\n%\r\n"
          "[V:M] |:dfa [dfa]3|\r\n[V:G] |:,,,a1 ,,e ,c  [,,ea3] |\r\n");
  const Ran r = s.run("abctab2ps TEMP.ABC -1 -O jig -t _2 -s 1.2");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(s.exists("jig.ps"));
  EXPECT_TRUE(gsrenders(s.path("jig.ps")));
  EXPECT_EQ(firstfrets(s.path("jig.ps")), (std::vector<std::string>{"0", "4", "2", "4", "0"}));
}

TEST(Abctab2ps, TwoTunesTwoPagesAndOutPsWithoutO) {
  NEED_ENGRAVER();
  Scratch s;
  const std::string tune = slurp(kData + "/reel.abc");
  std::string two = tune;
  two += tune.substr(0, tune.size());
  const auto x = two.rfind("X:1");
  two.replace(x, 3, "X:2");
  s.write("TEMP.ABC", two);
  const Ran r = s.run("abctab2ps -1 TEMP.ABC");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(s.exists("Out.ps"));
  EXPECT_EQ(gspages(s.path("Out.ps")), 2);
}

TEST(Abctab2ps, UnknownTabContentIsLeftOutWithAWarning) {
  NEED_ENGRAVER();
  Scratch s;
  s.write("TEMP.ABC",
          "X:1\r\nL:1/8\r\nK:C\r\nV:M clef=treble\r\nV:G clef=guitartab\r\n"
          "[V:M] |c2 e2|\r\n[V:G] |,b2 & a |\r\n");
  const Ran r = s.run("abctab2ps TEMP.ABC -1 -O x");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("TEMP.ABC line 7: left out of the tab staff: &"), std::string::npos) << r.err;
  EXPECT_TRUE(s.exists("x.ps"));
}

TEST(Abctab2ps, RefusalsLeaveNoPostScript) {
  Scratch s;
  s.write("TEMP.ABC", "X:1\r\nK:C\r\n");
  const struct {
    std::string cmd;
    int status;
    const char* says;
  } rows[] = {
      {"abctab2ps TEMP.ABC -1 -O x -q", 2, "unknown option -q"},
      {"abctab2ps NONE.ABC -1 -O x", 1, "cannot read the input file NONE.ABC"},
      {"abctab2ps TEMP.ABC -1 -O x -t 13", 2, "bad transposition"},
      {"PATH=/nonexistent " + kBin + " TEMP.ABC -1 -O x", 1, "apt-get install abcm2ps"},
  };
  for (const auto& r : rows) {
    const Ran ran = s.run(r.cmd);
    EXPECT_EQ(ran.status, r.status) << r.cmd;
    EXPECT_NE(ran.err.find(r.says), std::string::npos) << r.cmd << ": " << ran.err;
    EXPECT_EQ(s.files(), std::vector<std::string>{"TEMP.ABC"}) << r.cmd;
  }
}

TEST(Abctab2ps, EngraverFailureLeavesNoPostScriptAndNoTempDir) {
  Scratch s;
  s.write("TEMP.ABC", "X:1\r\nK:C\r\n");
  // A stand-in abcm2ps that writes half a file and fails.
  s.run("mkdir -p fakebin tmp && printf '#!/bin/sh\\necho half > tune.ps\\necho broken >&2\\nexit 2\\n' "
        "> fakebin/abcm2ps && chmod +x fakebin/abcm2ps");
  const Ran r = s.run("PATH=fakebin:/usr/bin:/bin TMPDIR=tmp " + kBin + " TEMP.ABC -1 -O x");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("abcm2ps: broken"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("abcm2ps failed (exit status 2); no PostScript file written"), std::string::npos)
      << r.err;
  EXPECT_FALSE(s.exists("x.ps"));
  EXPECT_EQ(s.run("ls -A tmp").out, "");
}

}  // namespace
}  // namespace e2e
