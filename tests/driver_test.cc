// The run driver over an in-memory platform: the sequence of a run, its work
// files, the overwrite question and every way a run ends.
#include "run/driver.h"

#include <gtest/gtest.h>

#include <sstream>

#include "e2e/texts.h"
#include "fake_platform.h"
#include "run/stop.h"
#include "run/text.h"

namespace kry {
namespace {

using kry_test::FakePlatform;

const std::string kBanner = kry_test::banner();
const std::string kUsage = kry_test::usageText();
const std::string kQuestion = kry_test::kOverwriteQuestion;

const std::string kReel = kry_test::kReelTune;

struct Outcome {
  std::string out;
  std::optional<Stop> stop;
};

Outcome runWith(FakePlatform& platform, const std::vector<std::string>& args) {
  Outcome result;
  std::ostringstream out;
  try {
    run(args, platform, out);
  } catch (const Stop& stop) {
    result.stop = stop;
  }
  result.out = out.str();
  EXPECT_FALSE(platform.locked) << "the directory lock outlived the run";
  return result;
}

std::vector<std::string> names(const FakePlatform& platform) {
  std::vector<std::string> all;
  for (const auto& [name, text] : platform.files) all.push_back(name);
  return all;
}

TEST(Driver, UsageWithNoArgumentsTouchesNothing) {
  FakePlatform platform;
  Outcome result = runWith(platform, {});
  EXPECT_FALSE(result.stop);
  EXPECT_EQ(result.out, kUsage);
  EXPECT_EQ(platform.touched, 0);
}

TEST(Driver, UsageAfterTheBannerForAQuestionMark) {
  for (std::string arg : {"?", "/?"}) {
    FakePlatform platform;
    Outcome result = runWith(platform, {arg, "x"});
    EXPECT_FALSE(result.stop);
    EXPECT_EQ(result.out, kBanner + kUsage);
    EXPECT_EQ(platform.touched, 0);
  }
}

TEST(Driver, TheRoadOfOneTune) {
  FakePlatform platform;
  platform.files["reel.abc"] = kReel;
  Outcome result = runWith(platform, {"reel"});
  EXPECT_FALSE(result.stop);
  EXPECT_EQ(result.out, kBanner + "\n REEL.ABC processed.\n abctab2ps temp.abc -1 -O reel\n\n");
  ASSERT_EQ(platform.typesetterRuns.size(), 1U);
  EXPECT_EQ(platform.typesetterRuns[0], (std::vector<std::string>{"abctab2ps", "TEMP.ABC", "-1", "-O", "reel"}));
  EXPECT_EQ(platform.typesetterSaw["TEMP.ABC"], platform.typesetterSaw["KRY97.ABC"]);
  EXPECT_NE(platform.typesetterSaw["TEMP.ABC"].find("[V:G] |:,,a2  ,,c1 ,a  [,aaa2]  ,b1 |\r\n"),
            std::string::npos);
  EXPECT_EQ(names(platform), (std::vector<std::string>{"reel.abc"}));
  EXPECT_EQ(platform.files["reel.abc"], kReel);
}

TEST(Driver, DebugKeepsTheFinalTune) {
  FakePlatform platform;
  platform.files["reel.abc"] = kReel;
  runWith(platform, {"reel.abc", "DEBUG"});
  EXPECT_EQ(names(platform), (std::vector<std::string>{"TEMP.ABC", "reel.abc"}));
}

TEST(Driver, MissingTuneFileStopsBeforeTheOptions) {
  FakePlatform platform;
  platform.files["TMPIN.TMP"] = kReel;  // left by an interrupted run
  Outcome result = runWith(platform, {"nosuch", "x"});
  ASSERT_TRUE(result.stop);
  EXPECT_EQ(result.stop->text(), " No such input file.");
  EXPECT_EQ(result.stop->status(), kExitStopped);
  EXPECT_EQ(result.out, kBanner);
  EXPECT_TRUE(platform.files.empty());
  EXPECT_TRUE(platform.typesetterRuns.empty());
}

TEST(Driver, AnotherRunInTheDirectoryStopsAtOnce) {
  FakePlatform platform;
  platform.busy = true;
  platform.files["reel.abc"] = kReel;
  Outcome result = runWith(platform, {"reel"});
  ASSERT_TRUE(result.stop);
  EXPECT_EQ(result.stop->status(), kExitStopped);
  EXPECT_EQ(platform.touched, 0);
}

TEST(Driver, AnOptionErrorLeavesTheStagedCopy) {
  FakePlatform platform;
  platform.files["reel.abc"] = kReel;
  Outcome result = runWith(platform, {"reel", "m", "zz"});
  ASSERT_TRUE(result.stop);
  EXPECT_EQ(result.stop->text(), " ");
  EXPECT_EQ(result.out, kBanner + " Illegal option zz      \n Type  kry/?  to get list of options.\n");
  EXPECT_EQ(names(platform), (std::vector<std::string>{"TMPIN.TMP", "reel.abc"}));
}

TEST(Driver, AStopInTheConversionLeavesTheWorkFiles) {
  FakePlatform platform;
  platform.files["bad.abc"] = "X:1\nK:C\nB [CE\n";
  platform.files["TEMP.ABC"] = "old";
  Outcome result = runWith(platform, {"bad.abc"});
  ASSERT_TRUE(result.stop);
  EXPECT_EQ(result.stop->text(), "Incomplete chord");
  EXPECT_EQ(names(platform), (std::vector<std::string>{"KRY97.ABC", "TEMP.ABC", "TMPIN.TMP", "bad.abc"}));
  EXPECT_EQ(platform.files["TEMP.ABC"], "old");
  EXPECT_TRUE(platform.files["KRY97.ABC"].ends_with("[V:M] B [CE\r\n"));
}

TEST(Driver, OverwriteQuestionAndItsReplies) {
  const std::vector<std::pair<std::string, bool>> replies{
      {"C", true}, {"c", true}, {"continue", true}, {"Cancel", true},
      {"y", false}, {"n", false}, {"", false}, {" c", false}};
  for (bool fixUp : {false, true}) {
    for (const auto& [reply, agrees] : replies) {
      FakePlatform platform;
      platform.files["reel.abc"] = kReel;
      platform.files["TEMP.ABC"] = "old";
      platform.replies.push_back(reply);
      std::vector<std::string> args{"reel"};
      if (fixUp) args.push_back("f");
      Outcome result = runWith(platform, args);
      EXPECT_EQ(result.out.substr(0, kBanner.size() + 1 + kQuestion.size()), kBanner + "\n" + kQuestion)
          << reply;
      if (agrees) {
        EXPECT_FALSE(result.stop) << reply;
        EXPECT_FALSE(platform.exists("TEMP.ABC"));
        EXPECT_EQ(platform.typesetterRuns.size(), 1U);
      } else {
        ASSERT_TRUE(result.stop) << reply;
        EXPECT_EQ(result.stop->text(), "Processing halted!");
        EXPECT_EQ(result.stop->status(), kExitStopped);
        EXPECT_EQ(platform.files["TEMP.ABC"], "old");
        EXPECT_TRUE(platform.typesetterRuns.empty());
      }
    }
  }
}

TEST(Driver, NoReplyAtTheEndOfInputIsAnInputFailure) {
  FakePlatform platform;
  platform.files["reel.abc"] = kReel;
  platform.files["TEMP.ABC"] = "old";
  Outcome result = runWith(platform, {"reel"});
  ASSERT_TRUE(result.stop);
  EXPECT_TRUE(result.stop->isIoError());
  EXPECT_EQ(result.stop->status(), kExitIoError);
  EXPECT_EQ(platform.files["TEMP.ABC"], "old");
}

TEST(Driver, AFailingTypesetterKeepsTheConvertedTune) {
  for (int status : {3, Platform::kNotStarted}) {
    FakePlatform platform;
    platform.files["reel.abc"] = kReel;
    platform.typesetterStatus = status;
    Outcome result = runWith(platform, {"reel"});
    ASSERT_TRUE(result.stop);
    EXPECT_EQ(result.stop->status(), kExitStopped);
    EXPECT_TRUE(result.stop->text().starts_with("Typesetting failed: abctab2ps "));
    EXPECT_EQ(names(platform), (std::vector<std::string>{"TEMP.ABC", "reel.abc"}));
    EXPECT_TRUE(result.out.ends_with("; the converted tune is kept in TEMP.ABC.\n"));
  }
}

TEST(Driver, TheFixUpPassMakesTheFinalTune) {
  FakePlatform platform;
  platform.files["two.abc"] = "X:1\nK:C\nB2 B2|\nB2 c2|\n";
  runWith(platform, {"two", "f"});
  const std::string& final = platform.typesetterSaw["TEMP.ABC"];
  EXPECT_NE(final.find("[V:G] ,a2  ,a |\r\n[V:M] B2 c2|\r\n[V:G] ,a2  ,b |\r\n"), std::string::npos) << final;
}

TEST(Driver, AWorkFileIsNeverTheTuneFile) {
  FakePlatform platform;
  platform.files["KRY97.ABC"] = kReel;
  Outcome result = runWith(platform, {"KRY97.ABC"});
  ASSERT_TRUE(result.stop);
  EXPECT_EQ(result.stop->status(), kExitStopped);
  EXPECT_EQ(platform.files["KRY97.ABC"], kReel);
}

TEST(Names, FromTheFirstArgument) {
  const std::vector<std::tuple<std::string, std::string, std::string>> rows{
      {"tune", "tune.abc", "tune"},
      {"tune.abc", "tune.abc", "tune."},
      {"my.song.abc", "my.song.abc", "my."},
      {"../tunes/reel", "../tunes/reel.abc", "../tunes/reel"},
      {"../dir.x/reel", "../dir.x/reel.abc", "../dir.x/reel"},
      {"a b", "a b.abc", "a b"},
      {"tune  ", "tune.abc", "tune"},
      {std::string(100, 'n'), std::string(100, 'n') + ".abc", std::string(100, 'n')},
  };
  for (const auto& [arg, input, base] : rows) {
    TuneNames names = deriveNames(arg);
    EXPECT_EQ(names.input, input) << arg;
    EXPECT_EQ(names.base, base) << arg;
  }
}

TEST(TypesettingCommand, ShownAndStarted) {
  struct Row {
    std::vector<std::string> options;
    std::string base;
    std::string shown;
    std::vector<std::string> tail;  // after -O and the base name
  };
  const std::vector<Row> rows{
      {{}, "tune", "abctab2ps temp.abc -1 -O tune", {}},
      {{"-3", "0.8"}, "tune.", "abctab2ps temp.abc -1 -O tune. -t _3 -s 0.8", {"-t", "_3", "-s", "0.8"}},
      {{"11"}, "song", "abctab2ps temp.abc -1 -O song -t 11", {"-t", "11"}},
      {{"1.0", "2"}, "song", "abctab2ps temp.abc -1 -O song -t 2", {"-t", "2"}},
      {{"0"}, "a b", "abctab2ps temp.abc -1 -O a b", {}},
  };
  for (const Row& row : rows) {
    Options options;
    std::ostringstream out;
    readOptions(row.options, options, out);
    TypesetCommand command = typesetCommand(row.base, options);
    EXPECT_EQ(command.shown, row.shown);
    std::vector<std::string> args{"abctab2ps", "TEMP.ABC", "-1", "-O", row.base};
    args.insert(args.end(), row.tail.begin(), row.tail.end());
    EXPECT_EQ(command.args, args);
  }
}

TEST(ProcessedLine, WrapsAt79Characters) {
  EXPECT_EQ(processedLines("tune.abc"), " TUNE.ABC processed.\n");
  std::string name(75, 'a');
  EXPECT_EQ(processedLines(name + ".abc"), " " + std::string(75, 'A') + ".ABC\n  processed.\n");
}

TEST(Upcase, OnlyTheFirstCountCharacters) {
  const std::vector<std::tuple<std::string, int, std::string>> rows{
      {"abc1-z", 6, "ABC1-Z"}, {"abc1-z", 3, "ABC1-z"}, {"abc1-z", 0, "abc1-z"}, {"abc", -1, "abc"},
      {"\xe9t\xe9", 3, "\xe9T\xe9"}};
  for (auto [text, count, expected] : rows) {
    upcase(text, count);
    EXPECT_EQ(text, expected);
  }
}

}  // namespace
}  // namespace kry
