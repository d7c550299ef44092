// A whole run in-process, on a platform kept in memory: the ways a run meets
// a file system or a program that fails it, which a real directory can't be
// made to do on demand. Whole runs of the binary are in tests/e2e/.
#include "run/driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "base/stop.h"
#include "support/fakes.h"

namespace kry {
namespace {

using kry_test::FakePlatform;

// The end of a run in a few words: the stop line, or "done"; the files left, sorted.
std::string runOn(FakePlatform& platform, const std::vector<std::string>& args, std::string& said) {
  std::ostringstream out;
  std::string end = "done";
  try {
    run(args, platform, out);
  } catch (const Stop& stop) {
    out << stop.said();
    end = stop.errorLine();
  }
  said = out.str();
  for (const auto& [name, text] : platform.files) end += " " + name;
  return end;
}

TEST(Run, MeetsAFailingPlatformWithAClearEnd) {
  const std::string reel = "X:1\nT:Reel\nK:G\nGABc|\n";
  const std::string web = " https://kry.example.org/\n";  // the banner's last line
  struct Row {
    std::string what;
    std::vector<std::string> args;
    std::function<void(FakePlatform&)> setUp;
    std::string end, said;  // how it ended, with the files left; the last lines it said
  };
  const std::vector<Row> rows = {
      {"the converted tune can't be made", {"reel"}, [](FakePlatform& p) { p.refused.insert("KRY97.ABC"); },
       "kry: cannot create KRY97.ABC TMPIN.TMP reel.abc", web},
      {"the fixed-up tune can't be made", {"reel", "f"}, [](FakePlatform& p) { p.refused.insert("KRY97.FIX"); },
       "kry: cannot create KRY97.FIX TMPIN.TMP reel.abc", web},
      {"the PDF made but not named: no half PDF", {"reel", "pdf"}, [](FakePlatform& p) { p.refused.insert("reel.pdf"); },
       "STOP No PDF written: the PDF could not be named reel.pdf. reel.abc reel.ps", "reel.ps is kept"},
      {"no Ghostscript", {"reel", "pdf"}, [](FakePlatform& p) { p.statusOf["gs"] = kNotStarted; },
       "STOP No PDF written: Ghostscript (gs) could not be started; install the package ghostscript. reel.abc reel.ps",
       " Ghostscript (gs) could not be started; install the package ghostscript; the PostScript file reel.ps is kept.\n"},
      {"Ghostscript succeeds but writes no PDF", {"reel", "pdf"}, [](FakePlatform& p) { p.pdf = "<html>"; },
       "STOP No PDF written: gs wrote no PDF. reel.abc reel.ps", "reel.ps is kept"},
      {"Ghostscript fails: what it wrote is not moved into place", {"reel", "pdf"},
       [](FakePlatform& p) { p.statusOf["gs"] = 1; }, "STOP No PDF written: gs failed with exit status 1. reel.abc reel.ps", ""},
      {"the typesetter's messages placed in the tune file, with f too", {"reel", "f"},
       [](FakePlatform& p) { p.says["abctab2ps"] = "abctab2ps: TEMP.ABC line 14: left out: x\nabcm2ps: TEMP.ABC:99: Bad\n"; },
       "done reel.abc reel.ps",
       " reel.abc line 4, tune 1 (Reel): abctab2ps: left out: x\n reel.abc: abcm2ps: Bad\n"
       " 2 messages from the typesetter about reel.abc.\n"},
  };
  for (const Row& row : rows) {
    FakePlatform platform;
    platform.files["reel.abc"] = reel;
    row.setUp(platform);
    std::string said;
    EXPECT_EQ(runOn(platform, row.args, said), row.end) << row.what;
    EXPECT_NE(said.find(row.said), std::string::npos) << row.what << "\n" << said;
    EXPECT_EQ(platform.files["reel.abc"], reel) << row.what;
  }
}

// Any work file the run writes that is there as no file of the run's own
// stops the run before anything is written.
TEST(Run, AWorkFileThatIsALinkStopsTheRunFirst) {
  for (const std::string work : {"TMPIN.TMP", "KRY97.ABC", "KRY97.FIX", "TEMP.ABC"}) {
    FakePlatform platform;
    platform.files["reel.abc"] = "X:1\nK:G\nGABc|\n";
    platform.kinds[work] = FileKind::kLink;
    std::string said;
    EXPECT_EQ(runOn(platform, {"reel", "f"}, said), "kry: " + work + " is a symbolic link, not a work file of kry's own; "
              "nothing was written through it. Remove it, or run kry in another folder. reel.abc");
  }
}

// A run with f that stops at the question leaves the converted tune as a run
// without f leaves it: the fix-up pass's changes taken back, nothing converted again.
TEST(Run, WithFStoppedLeavesTheTuneAsConverted) {
  std::map<std::string, std::string> left;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"reel"}, {"reel", "f"}}) {
    FakePlatform platform;
    platform.files["reel.abc"] = "X:1\nK:G\nG2AB c|\nd e f|\nA2 B|\n";
    platform.files["TEMP.ABC"] = "old";
    std::string said;
    EXPECT_EQ(runOn(platform, args, said), "kry: no reply to the overwrite question: standard input is at its end KRY97.ABC TEMP.ABC TMPIN.TMP reel.abc");
    left[args.back()] = platform.files["KRY97.ABC"];
  }
  EXPECT_EQ(left["f"], left["reel"]);
  EXPECT_NE(left["reel"].find("[V:G] ,d  a  c |"), std::string::npos) << left["reel"];  // where f puts a length
}

}  // namespace
}  // namespace kry
