// Whole runs of kry seen from the command line: the usage paths, the names a
// tune file is given by, the work files, the overwrite question, the
// typesetter and what is left in the directory afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "harness.h"
#include "texts.h"

namespace kry_test {
namespace {

namespace fs = std::filesystem;
using Files = std::vector<std::string>;
using Args = std::vector<std::string>;

std::string upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return text;
}

// Standard output of a run that converts the reel and typesets it.
std::string convertedRunOutput(const std::string& processed, const std::string& shownCommand) {
  return banner() + "\n" + processed + " " + shownCommand + "\n\n" + kFakeTypesetterSays;
}

Args typesetterArgs(const Sandbox& box, const std::string& base) {
  return {box.path("bin/abctab2ps"), "TEMP.ABC", "-1", "-O", base};
}

void writeFile(const Sandbox& box, const std::string& name, const std::string& content) {
  fs::path where = fs::path(box.path(name)).parent_path();
  fs::create_directories(where);
  box.write(name, content);
}

// ---- the usage paths ----

struct UsageRow {
  Args args;
  bool withBanner;
};

TEST(UsagePaths, WriteTheUsageTextAndTouchNoFile) {
  const std::vector<UsageRow> rows = {{{}, false}, {{"?"}, true}, {{"/?"}, true}, {{"?", "m", "x"}, true}};
  for (const UsageRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.args));
    Sandbox box;
    box.write("reel.abc", kReelTune);
    RunResult result = box.run(row.args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, (row.withBanner ? banner() : "") + usageText());
    EXPECT_EQ(result.err, "STOP  \n");
    EXPECT_FALSE(box.typesetterArgs());
    EXPECT_EQ(box.files(), Files{"reel.abc"});
  }
}

TEST(UsagePaths, OtherHelpLikeFirstArgumentsAreFileNames) {
  Sandbox box;
  box.write("-?.abc", kReelTune);
  RunResult converted = box.run({"-?"});
  EXPECT_EQ(converted.status, 0);
  EXPECT_EQ(converted.out,
            convertedRunOutput(" -?.ABC processed.\n", "abctab2ps temp.abc -1 -O -?"));
  EXPECT_EQ(box.typesetterTune(), crlf(kReelConverted));

  RunResult missing = box.run({"/h"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, banner());
  EXPECT_EQ(missing.err, "STOP  No such input file.\n");
  EXPECT_EQ(box.files(), Files{"-?.abc"});
}

// ---- names: what is staged, the base name, the "processed" line ----

struct NameRow {
  std::string arg;        // the first argument; "@" stands for "../" and the sandbox's own name
  std::string file;       // the tune file the run should read
  std::string processed;  // the "processed" line, "@" as above but upper-cased
  std::string base;       // the base name handed to the typesetter
  Files left;             // what the directory holds afterwards
};

TEST(TuneNames, StageTheNamedFileAndNameTheOutputAfterIt) {
  const std::vector<NameRow> rows = {
      {"tune", "tune.abc", " TUNE.ABC processed.", "tune", {"tune.abc"}},
      {"tune.abc", "tune.abc", " TUNE.ABC processed.", "tune.", {"tune.abc"}},
      {"my.song.abc", "my.song.abc", " MY.SONG.ABC processed.", "my.", {"my.song.abc"}},
      {"Tune.ABC", "Tune.ABC", " TUNE.ABC processed.", "Tune.", {"Tune.ABC"}},
      {"noext.", "noext.", " NOEXT. processed.", "noext.", {"noext."}},
      // A dot in a directory's name does not count: only the file's own name is looked at.
      {"dir.x/reel", "dir.x/reel.abc", " DIR.X/REEL.ABC processed.", "dir.x/reel", {"dir.x"}},
      {"@/dir.x/reel", "dir.x/reel.abc", " @/DIR.X/REEL.ABC processed.", "@/dir.x/reel", {"dir.x"}},
      {"tunes.d/my.song", "tunes.d/my.song", " TUNES.D/MY.SONG processed.", "tunes.d/my.", {"tunes.d"}},
      {"./reel", "reel.abc", " ./REEL.ABC processed.", "./reel", {"reel.abc"}},
  };
  for (const NameRow& row : rows) {
    SCOPED_TRACE(row.arg);
    Sandbox box;
    std::string self = "../" + fs::path(box.dir()).filename().string();
    auto place = [&](std::string text, const std::string& by) {
      if (std::size_t at = text.find('@'); at != std::string::npos) text.replace(at, 1, by);
      return text;
    };
    writeFile(box, row.file, kReelTune);
    RunResult result = box.run({place(row.arg, self)});
    std::string base = place(row.base, self);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, convertedRunOutput(place(row.processed, upper(self)) + "\n",
                                             "abctab2ps temp.abc -1 -O " + base));
    EXPECT_EQ(result.err, "STOP  \n");
    EXPECT_EQ(box.typesetterArgs(), typesetterArgs(box, base));
    EXPECT_EQ(box.typesetterTune(), crlf(kReelConverted));
    EXPECT_EQ(box.files(), row.left);
  }
}

// The text after the leading blank goes in lines of at most 79 characters.
struct LongNameRow {
  std::size_t length;  // of the name typed, which has no "."
  std::string processed;
};

TEST(TuneNames, LongNamesAreKeptWholeAndTheProcessedLineWrapsAt79) {
  const std::string a(79, 'A');
  const std::vector<LongNameRow> rows = {
      {64, " " + std::string(64, 'A') + ".ABC processed.\n"},
      {65, " " + std::string(65, 'A') + ".ABC processed\n .\n"},
      {76, " " + std::string(76, 'A') + ".AB\n C processed.\n"},
      {150, " " + a + "\n " + std::string(71, 'A') + ".ABC pro\n cessed.\n"},
  };
  for (const LongNameRow& row : rows) {
    SCOPED_TRACE(row.length);
    Sandbox box;
    std::string name(row.length, 'a');
    box.write(name + ".abc", kReelTune);
    RunResult result = box.run({name});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, convertedRunOutput(row.processed, "abctab2ps temp.abc -1 -O " + name));
    EXPECT_EQ(box.typesetterArgs(), typesetterArgs(box, name));
    EXPECT_EQ(box.typesetterTune(), crlf(kReelConverted));
    EXPECT_EQ(box.files(), Files{name + ".abc"});
  }
}

// Names are used as they are: nothing in them is ever run as a command.
TEST(TuneNames, BlanksQuotesAndShellCharactersAreTakenLiterally) {
  const std::vector<std::string> names = {
      "my tune",        "two  blanks",       "it's",          "say \"hi\"",
      "a;b",            "x; touch pwned",    "$(touch pwned)", "`touch pwned`",
      "a && touch pwned", "a | touch pwned", "a > pwned",     "*",
      "$HOME",          "-x",                "back\\slash",   "#hash",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Sandbox box;
    box.write(name + ".abc", kReelTune);
    RunResult result = box.run({name});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, convertedRunOutput(" " + upper(name) + ".ABC processed.\n",
                                             "abctab2ps temp.abc -1 -O " + name));
    EXPECT_EQ(result.err, "STOP  \n");
    EXPECT_EQ(box.typesetterArgs(), typesetterArgs(box, name));
    EXPECT_EQ(box.typesetterTune(), crlf(kReelConverted));
    EXPECT_EQ(box.files(), Files{name + ".abc"});  // no "pwned", no stray work file
  }
}

TEST(TuneNames, AMissingNameWithShellCharactersRunsNothing) {
  for (const std::string name : {"$(touch pwned)", "x; touch pwned", "`touch pwned`"}) {
    SCOPED_TRACE(name);
    Sandbox box;
    RunResult result = box.run({name});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "STOP  No such input file.\n");
    EXPECT_EQ(box.files(), Files{});
  }
}

TEST(TuneNames, TheWorkFilesCannotBeTheTuneFile) {
  for (const std::string work : {"TMPIN.TMP", "KRY97.ABC"}) {
    SCOPED_TRACE(work);
    Sandbox box;
    box.write(work, kReelTune);
    RunResult result = box.run({work});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "STOP  The tune file can't be named " + work + ", kry's own work file.\n");
    EXPECT_EQ(box.read(work), kReelTune);  // the user's tune is never lost
    EXPECT_FALSE(box.typesetterArgs());
  }
}

// ---- a missing tune file, stale work files ----

struct MissingRow {
  Args args;
  std::string inTheWay;  // a directory standing where the tune file should be
};

TEST(MissingTuneFile, StopsBeforeAnyOptionIsRead) {
  const std::vector<MissingRow> rows = {
      {{"reel"}, ""},          {{"reel.abc"}, ""},    {{"reel", "x"}, ""},   {{"reel", "12"}, ""},
      {{"reel", "1-2"}, ""},   {{"my tune"}, ""},     {{"reel"}, "reel.abc"}, {{"sub/reel"}, ""},
  };
  for (const MissingRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.args));
    Sandbox box;
    if (!row.inTheWay.empty()) fs::create_directory(box.path(row.inTheWay));
    RunResult result = box.run(row.args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, banner());
    EXPECT_EQ(result.err, "STOP  No such input file.\n");
    EXPECT_FALSE(box.typesetterArgs());
    EXPECT_EQ(box.files(), row.inTheWay.empty() ? Files{} : Files{row.inTheWay});
  }
}

TEST(MissingTuneFile, AStagedCopyLeftByAnEarlierRunIsNeverConverted) {
  Sandbox box;
  box.write("TMPIN.TMP", kReelTune);
  RunResult result = box.run({"gone"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(result.err, "STOP  No such input file.\n");
  EXPECT_FALSE(box.typesetterArgs());
  EXPECT_EQ(box.files(), Files{});
}

TEST(WorkFiles, StaleWorkFilesAreReplacedWithoutAQuestion) {
  Sandbox box;
  box.write("reel.abc", kReelTune);
  box.write("TMPIN.TMP", "X:9\nK:C\nC|\n");
  box.write("KRY97.ABC", "old converted tune\r\n");
  RunResult result = box.run({"reel"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, convertedRunOutput(" REEL.ABC processed.\n", "abctab2ps temp.abc -1 -O reel"));
  EXPECT_EQ(box.typesetterTune(), crlf(kReelConverted));
  EXPECT_EQ(box.files(), Files{"reel.abc"});
}

TEST(WorkFiles, DebugKeepsTheFinalTuneAndDeletesTheOthers) {
  for (const std::string debug : {"debug", "DEBUG", "Debug"}) {
    SCOPED_TRACE(debug);
    Sandbox box;
    box.write("reel.abc", kReelTune);
    RunResult result = box.run({"reel", debug});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, convertedRunOutput(" REEL.ABC processed.\n", "abctab2ps temp.abc -1 -O reel"));
    EXPECT_EQ(result.err, "STOP  \n");
    EXPECT_EQ(box.files(), (Files{"TEMP.ABC", "reel.abc"}));
    EXPECT_EQ(box.read("TEMP.ABC"), crlf(kReelConverted));
    EXPECT_EQ(box.typesetterTune(), crlf(kReelConverted));
  }
}

// ---- the overwrite question for an existing TEMP.ABC ----

struct ReplyRow {
  std::string reply;
  bool agrees;
};

const std::vector<ReplyRow> kReplies = {
    {"C\n", true},  {"c\n", true},  {"continue\n", true}, {"Cancel\n", true}, {"C\r\n", true},
    {"c", true},    {"c\nn\n", true}, {"y\n", false},     {"n\n", false},     {"\n", false},
    {" c\n", false}, {"\tc\n", false}, {"x\nc\n", false},  {"\r\n", false},
};

// The plain copy and the fix-up pass ask the same question.
const std::vector<Args> kFinalTuneMakers = {{"reel"}, {"reel", "f"}};

TEST(OverwriteQuestion, OnlyARepliesBeginningWithCAgree) {
  for (const Args& args : kFinalTuneMakers) {
    for (const ReplyRow& row : kReplies) {
      SCOPED_TRACE(testing::PrintToString(args) + " reply " + testing::PrintToString(row.reply));
      Sandbox box;
      box.write("reel.abc", kReelTune);
      box.write("TEMP.ABC", "old final tune\r\n");
      RunResult result = box.run(args, row.reply);
      std::string asked = banner() + "\n" + kOverwriteQuestion;
      if (row.agrees) {
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, asked + " REEL.ABC processed.\n abctab2ps temp.abc -1 -O reel\n\n" +
                                  kFakeTypesetterSays);
        EXPECT_EQ(result.err, "STOP  \n");
        EXPECT_EQ(box.typesetterTune(), crlf(kReelConverted));
        EXPECT_EQ(box.files(), Files{"reel.abc"});
      } else {
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, asked);
        EXPECT_EQ(result.err, "STOP Processing halted!\n");
        EXPECT_FALSE(box.typesetterArgs());
        EXPECT_EQ(box.read("TEMP.ABC"), "old final tune\r\n");
        EXPECT_EQ(box.read("KRY97.ABC"), crlf(kReelConverted));
        EXPECT_EQ(box.files(), (Files{"KRY97.ABC", "TEMP.ABC", "TMPIN.TMP", "reel.abc"}));
      }
    }
  }
}

TEST(OverwriteQuestion, EndOfInputIsAReadErrorWithNoStopLine) {
  for (const Args& args : kFinalTuneMakers) {
    SCOPED_TRACE(testing::PrintToString(args));
    Sandbox box;
    box.write("reel.abc", kReelTune);
    box.write("TEMP.ABC", "old final tune\r\n");
    RunResult result = box.run(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, banner() + "\n" + kOverwriteQuestion);
    ASSERT_EQ(lines(result.err).size(), 1U) << result.err;
    EXPECT_EQ(result.err.back(), '\n');
    EXPECT_EQ(result.err.rfind("kry: ", 0), 0U) << result.err;
    EXPECT_EQ(result.err.find("STOP"), std::string::npos) << result.err;
    EXPECT_FALSE(box.typesetterArgs());
    EXPECT_EQ(box.read("TEMP.ABC"), "old final tune\r\n");
    EXPECT_EQ(box.files(), (Files{"KRY97.ABC", "TEMP.ABC", "TMPIN.TMP", "reel.abc"}));
  }
}

TEST(OverwriteQuestion, IsNotAskedWhenThereIsNoFinalTune) {
  for (const Args& args : kFinalTuneMakers) {
    SCOPED_TRACE(testing::PrintToString(args));
    Sandbox box;
    box.write("reel.abc", kReelTune);
    RunResult result = box.run(args, std::string("n\n"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, convertedRunOutput(" REEL.ABC processed.\n", "abctab2ps temp.abc -1 -O reel"));
  }
}

// ---- the typesetter ----

struct FailingTypesetterRow {
  Args args;
  int typesetterStatus;
};

TEST(Typesetter, AFailureIsReportedAndTheConvertedTuneKept) {
  const std::vector<FailingTypesetterRow> rows = {
      {{"reel"}, 3}, {{"reel"}, 1}, {{"reel", "debug"}, 2}, {{"reel", "f"}, 255}};
  for (const FailingTypesetterRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.args));
    Sandbox box;
    box.write("reel.abc", kReelTune);
    box.setTypesetterStatus(row.typesetterStatus);
    RunResult result = box.run(row.args);
    std::string failure = "abctab2ps failed with exit status " + std::to_string(row.typesetterStatus);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              convertedRunOutput(" REEL.ABC processed.\n", "abctab2ps temp.abc -1 -O reel") + " " +
                  failure + "; the converted tune is kept in TEMP.ABC.\n");
    EXPECT_EQ(result.err, "STOP Typesetting failed: " + failure + ".\n");
    EXPECT_EQ(box.typesetterArgs(), typesetterArgs(box, "reel"));
    EXPECT_EQ(box.read("TEMP.ABC"), crlf(kReelConverted));
    EXPECT_EQ(box.files(), (Files{"TEMP.ABC", "reel.abc"}));
  }
}

bool systemHasATypesetter() {
  return fs::exists("/usr/bin/abctab2ps") || fs::exists("/bin/abctab2ps");
}

// A copy of kry in a directory of its own, so that no typesetter stands beside it.
std::string kryAlone(const Sandbox& box) {
  fs::create_directories(box.path("bin/alone"));
  std::string copy = box.path("bin/alone/kry");
  fs::copy_file(kryBinary(), copy);
  return copy;
}

TEST(Typesetter, OneThatCannotBeFoundIsReportedAndTheConvertedTuneKept) {
  if (systemHasATypesetter()) GTEST_SKIP() << "an abctab2ps is installed on the system";
  Sandbox box;
  box.write("reel.abc", kReelTune);
  box.removeTypesetter();
  box.setKryBinary(kryAlone(box));
  RunResult result = box.run({"reel"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, banner() + "\n REEL.ABC processed.\n abctab2ps temp.abc -1 -O reel\n\n"
                                   " abctab2ps could not be started; the converted tune is kept in TEMP.ABC.\n");
  EXPECT_EQ(result.err, "STOP Typesetting failed: abctab2ps could not be started.\n");
  EXPECT_EQ(box.read("TEMP.ABC"), crlf(kReelConverted));
  EXPECT_EQ(box.files(), (Files{"TEMP.ABC", "reel.abc"}));
}

TEST(Typesetter, TheOneBesideKryIsUsedWhenNoneIsOnThePath) {
  if (systemHasATypesetter()) GTEST_SKIP() << "an abctab2ps is installed on the system";
  Sandbox box;
  box.write("reel.abc", kReelTune);
  std::string kry = kryAlone(box);
  fs::copy_file(box.path("bin/abctab2ps"), box.path("bin/alone/abctab2ps"));
  box.removeTypesetter();
  box.setKryBinary(kry);
  RunResult result = box.run({"reel", "-2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "STOP  \n");
  EXPECT_EQ(lines(box.read("bin/alone/args.txt")),
            (Args{box.path("bin/alone/abctab2ps"), "TEMP.ABC", "-1", "-O", "reel", "-t", "_2"}));
  EXPECT_EQ(box.files(), Files{"reel.abc"});
}

// ---- a file of several tunes ----

// Two tunes with a change of key in the first; blank lines, a file field,
// lower-case field letters, indented lines and every kind of line end.
const std::string kTwoTunes =
    "%abc-2.1\r\n"
    "% two tunes\n"
    "\n"
    "X:1\r"
    "T:First\r\n"
    "F:first.abc\n"
    "K:G\n"
    "GABc|\n"
    "K:D\n"
    "fd|\n"
    "   \n"
    "\n"
    "x:2\r\n"
    "T:Second   \r\n"
    "f:second.abc\r\n"
    "k:F\r\n"
    "   B,C |\r\n"
    "%%vskip 1cm\n"
    "  % an indented comment\n"
    "K:Bb\n"
    "B,C |";

const std::vector<std::string> kTwoTunesConverted = join({
    {"%abc-2.1", "% two tunes", "", "X:1", "T:First", "K:G"},
    kDefaultBlock,
    {"[V:M] GABc|", "[V:G] ,,a1 ,,c ,a ,b |", "V:M clef=treble", "K:D", "[V:M] fd|", "[V:G] c ,d |",
     "", "x:2", "T:Second", "k:F"},
    kDefaultBlock,
    {"[V:M] B,C |", "[V:G] ,,,,b1 ,,,,d  |", "%%vskip 1cm", "% an indented comment", "V:M clef=treble",
     "K:Bb", "[V:M] B,C |", "[V:G] ,,,,b ,,,,d  |"},
});

TEST(SeveralTunes, EachGetsItsBlockAndKeyChangesFollowTheMusic) {
  Sandbox box;
  box.write("set.abc", kTwoTunes);
  RunResult result = box.run({"set", "debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, convertedRunOutput(" SET.ABC processed.\n", "abctab2ps temp.abc -1 -O set"));
  EXPECT_EQ(result.err, "STOP  \n");
  EXPECT_EQ(box.read("TEMP.ABC"), crlf(kTwoTunesConverted));
  EXPECT_EQ(box.typesetterTune(), crlf(kTwoTunesConverted));
  EXPECT_EQ(box.files(), (Files{"TEMP.ABC", "set.abc"}));
}

}  // namespace
}  // namespace kry_test
