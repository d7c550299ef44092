// Every option of a whole kry run, in groups: what each does to the block
// after the key field, to the tab lines and to the typesetting command, and
// how a bad option ends the run.
#include <gtest/gtest.h>

#include "harness.h"
#include "texts.h"

namespace kry_test {
namespace {

using Args = std::vector<std::string>;
using Files = std::vector<std::string>;
using Lines = std::vector<std::string>;

// Two lines of half notes in C: G on the third string and B on the second
// show where each option puts the notes, and the second line's first note has
// no length of its own for the fix-up pass to fill in.
const std::string kTune = "X:1\nT:Opt\nK:C\nG2B2|\nB2G2|\n";

struct OptionRow {
  Args options;
  Lines keyAndBlock;  // from the capo line or the key field to the block's last line
  std::string tab1;   // the two tab lines, after "[V:G] "
  std::string tab2;
  Args commandTail;   // what follows "-O opt" in the typesetting command
  bool keepsFinalTune = false;
};

// The default block and its variants, each as a musician would read them after K:C.
const Lines kPlain = join({{"K:C"}, kDefaultBlock});
const Lines kMandolin = {"K:C", "%%pageheight 11in", "V:M clef=treble", "%", "%", "V:G clef=spanish4tab",
                         "%%staffsep 2cm", "%%tabrhstyle modern", "%"};
const Lines kNoRhythmFlags = {"K:C", "%%pageheight 11in", "V:M clef=treble", "%", "%", "V:G clef=guitartab",
                              "%%staffsep 2cm", "%%tabrhstyle none", "%"};
const Lines kA4 = {"K:C", "V:M clef=treble", "%", "%", "V:G clef=guitartab", "%%staffsep 2cm",
                   "%%tabrhstyle modern", "%"};

Lines withCapo(char capo) { return join({{std::string("P: Capo ") + capo}, kPlain}); }

Lines withMargin(const std::string& margin) {
  return {"K:C", "%%pageheight 11in", "%%botmargin " + margin + "in", "V:M clef=treble", "%", "%",
          "V:G clef=guitartab", "%%staffsep 2cm", "%%tabrhstyle modern", "%"};
}

// The tab lines of the plain run.
const std::string kTab1 = ",,a2 ,a |";
const std::string kTab2 = ",a ,,a |";

void expectConverts(const OptionRow& row) {
  SCOPED_TRACE("options " + testing::PrintToString(row.options));
  Sandbox box;
  box.write("opt.abc", kTune);
  Args args = join({{"opt"}, row.options});
  RunResult result = box.run(args);

  std::string shown = "abctab2ps temp.abc -1 -O opt";
  for (const std::string& piece : row.commandTail) shown += " " + piece;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, banner() + "\n OPT.ABC processed.\n " + shown + "\n\n" + kFakeTypesetterSays);
  EXPECT_EQ(result.err, "STOP  \n");

  Args typesetter = join({{box.path("bin/abctab2ps"), "TEMP.ABC", "-1", "-O", "opt"}, row.commandTail});
  EXPECT_EQ(box.typesetterArgs(), typesetter);
  Lines tune = join({{"", "X:1", "T:Opt"}, row.keyAndBlock,
                     {"[V:M] G2B2|", "[V:G] " + row.tab1, "[V:M] B2G2|", "[V:G] " + row.tab2}});
  EXPECT_EQ(box.typesetterTune(), crlf(tune));
  if (row.keepsFinalTune) {
    EXPECT_EQ(box.files(), (Files{"TEMP.ABC", "opt.abc"}));
    EXPECT_EQ(box.read("TEMP.ABC"), crlf(tune));
  } else {
    EXPECT_EQ(box.files(), Files{"opt.abc"});
  }
}

TEST(Options, NoneKeepEveryDefault) { expectConverts({{}, kPlain, kTab1, kTab2, {}}); }

TEST(Options, FlagsAreReadInEitherCase) {
  const std::vector<OptionRow> rows = {
      {{"m"}, kMandolin, ",,f2 ,c |", ",c ,,f |", {}},
      {{"M"}, kMandolin, ",,f2 ,c |", ",c ,,f |", {}},
      {{"r"}, kNoRhythmFlags, kTab1, kTab2, {}},
      {{"R"}, kNoRhythmFlags, kTab1, kTab2, {}},
      {{"a4"}, kA4, kTab1, kTab2, {}},
      {{"A4"}, kA4, kTab1, kTab2, {}},
      // The B written "B" goes to the fourth fret of the third string.
      {{"b4"}, kPlain, ",,a2 ,,e |", ",,e ,,a |", {}},
      {{"B4"}, kPlain, ",,a2 ,,e |", ",,e ,,a |", {}},
      {{"b4", "m"}, kMandolin, ",,f2 ,c |", ",c ,,f |", {}},
      // The fix-up pass gives the second line's first note the rhythm flag 2.
      {{"f"}, kPlain, kTab1, ",a2 ,,a |", {}},
      {{"F"}, kPlain, kTab1, ",a2 ,,a |", {}},
      {{"debug"}, kPlain, kTab1, kTab2, {}, true},
      {{"DEBUG"}, kPlain, kTab1, kTab2, {}, true},
      {{"dEbUg"}, kPlain, kTab1, kTab2, {}, true},
      // A flag stays on once given.
      {{"m", "M", "m"}, kMandolin, ",,f2 ,c |", ",c ,,f |", {}},
  };
  for (const OptionRow& row : rows) expectConverts(row);
}

TEST(Options, CapoPrintsItsSecondCharacterAboveTheKey) {
  const std::vector<OptionRow> rows = {
      {{"c3"}, withCapo('3'), kTab1, kTab2, {}},
      {{"C3"}, withCapo('3'), kTab1, kTab2, {}},
      {{"c10"}, withCapo('1'), kTab1, kTab2, {}},
      {{"cb"}, withCapo('B'), kTab1, kTab2, {}},
      {{"capo"}, withCapo('A'), kTab1, kTab2, {}},
      {{"CAPO3"}, withCapo('A'), kTab1, kTab2, {}},
      {{"c"}, kPlain, kTab1, kTab2, {}},
      {{"C"}, kPlain, kTab1, kTab2, {}},
      {{"c3", "c5"}, withCapo('5'), kTab1, kTab2, {}},
      {{"c3", "c"}, kPlain, kTab1, kTab2, {}},
  };
  for (const OptionRow& row : rows) expectConverts(row);
}

TEST(Options, AnIntegerTransposesTheTabAndTheTypesetting) {
  const std::vector<OptionRow> rows = {
      {{"3"}, kPlain, ",,d2 ,d |", ",d ,,d |", {"-t", "3"}},
      {{"+3"}, kPlain, ",,d2 ,d |", ",d ,,d |", {"-t", "3"}},
      {{"-3"}, kPlain, ",,,c2 ,,b |", ",,b ,,,c |", {"-t", "_3"}},
      {{"11"}, kPlain, "c2 g |", "g c |", {"-t", "11"}},
      {{"+11"}, kPlain, "c2 g |", "g c |", {"-t", "11"}},
      {{"-11"}, kPlain, ",,,,,e2 ,,,,d |", ",,,,d ,,,,,e |", {"-t", "_11"}},
      {{"0"}, kPlain, kTab1, kTab2, {}},
      {{"-0"}, kPlain, kTab1, kTab2, {}},
      {{"-00011"}, kPlain, ",,,,,e2 ,,,,d |", ",,,,d ,,,,,e |", {"-t", "_11"}},
      // The last integer counts.
      {{"3", "-3"}, kPlain, ",,,c2 ,,b |", ",,b ,,,c |", {"-t", "_3"}},
      {{"3", "0"}, kPlain, kTab1, kTab2, {}},
      {{"m", "-2"}, kMandolin, ",,d2 ,a |", ",a ,,d |", {"-t", "_2"}},
      // b4 places only the B that lands on the second string's open course.
      {{"b4", "-1"}, kPlain, ",,,e2 ,,d |", ",,d ,,,e |", {"-t", "_1"}},
  };
  for (const OptionRow& row : rows) expectConverts(row);
}

TEST(Options, APositiveDecimalScalesAndANegativeOneSetsTheBottomMargin) {
  const std::vector<OptionRow> rows = {
      {{"0.8"}, kPlain, kTab1, kTab2, {"-s", "0.8"}},
      {{".5"}, kPlain, kTab1, kTab2, {"-s", ".5"}},
      {{"2."}, kPlain, kTab1, kTab2, {"-s", "2."}},
      {{"+0.8"}, kPlain, kTab1, kTab2, {"-s", "+0.8"}},
      {{"0.80"}, kPlain, kTab1, kTab2, {"-s", "0.80"}},
      {{"1.0"}, kPlain, kTab1, kTab2, {}},
      {{"1."}, kPlain, kTab1, kTab2, {}},
      {{"001.000"}, kPlain, kTab1, kTab2, {}},
      {{"0.8", "0.9"}, kPlain, kTab1, kTab2, {"-s", "0.9"}},
      {{"0.8", "1.0"}, kPlain, kTab1, kTab2, {}},
      {{"-0.5"}, withMargin("0.50"), kTab1, kTab2, {}},
      {{"-.75"}, withMargin("0.75"), kTab1, kTab2, {}},
      {{"-1.25"}, withMargin("1.25"), kTab1, kTab2, {}},
      {{"-9.99"}, withMargin("9.99"), kTab1, kTab2, {}},
      {{"-10.0"}, withMargin("****"), kTab1, kTab2, {}},
      {{"-0.0"}, kPlain, kTab1, kTab2, {}},
      {{"-0.5", "-0.75"}, withMargin("0.75"), kTab1, kTab2, {}},
      {{"-0.5", "-0.0"}, kPlain, kTab1, kTab2, {}},
      {{"a4", "-0.75"},
       {"K:C", "%%botmargin 0.75in", "V:M clef=treble", "%", "%", "V:G clef=guitartab", "%%staffsep 2cm",
        "%%tabrhstyle modern", "%"},
       kTab1,
       kTab2,
       {}},
      // The examples of the typesetting command.
      {{"-3", "0.8"}, kPlain, ",,,c2 ,,b |", ",,b ,,,c |", {"-t", "_3", "-s", "0.8"}},
      {{"1.0", "2"}, kPlain, ",,c2 ,c |", ",c ,,c |", {"-t", "2"}},
      {{"0.8", "-0.5", "11"}, withMargin("0.50"), "c2 g |", "g c |", {"-t", "11", "-s", "0.8"}},
  };
  for (const OptionRow& row : rows) expectConverts(row);
}

TEST(Options, NumbersAreReadFromTheirFirstEightCharacters) {
  const std::vector<OptionRow> rows = {
      {{"0.123456789"}, kPlain, kTab1, kTab2, {"-s", "0.123456"}},
      {{"1.0000009"}, kPlain, kTab1, kTab2, {}},
      {{"000000012"}, kPlain, ",,b2 ,b |", ",b ,,b |", {"-t", "1"}},
      {{"00000003-"}, kPlain, ",,d2 ,d |", ",d ,,d |", {"-t", "3"}},
      {{"-0.50000009"}, withMargin("0.50"), kTab1, kTab2, {}},
      {{"-00000001.5"}, kPlain, kTab1, kTab2, {}},
      {{"00000001.5"}, kPlain, kTab1, kTab2, {}},
      {{"00000002.5"}, kPlain, kTab1, kTab2, {"-s", "00000002"}},
  };
  for (const OptionRow& row : rows) expectConverts(row);
}

TEST(Options, AllTogether) {
  expectConverts({{"m", "r", "a4", "c3", "-0.75", "0.8", "-2", "f", "debug"},
                  {"P: Capo 3", "K:C", "%%botmargin 0.75in", "V:M clef=treble", "%", "%", "V:G clef=spanish4tab",
                   "%%staffsep 2cm", "%%tabrhstyle none", "%"},
                  ",,d2 ,a |",
                  ",a2 ,,d |",
                  {"-t", "_2", "-s", "0.8"},
                  true});
}

TEST(Options, TheFirstArgumentIsAlwaysTheTuneFile) {
  Sandbox box;
  box.write("m.abc", kTune);
  RunResult result = box.run({"m"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, banner() + "\n M.ABC processed.\n abctab2ps temp.abc -1 -O m\n\n" + kFakeTypesetterSays);
  EXPECT_EQ(box.typesetterTune(), crlf(join({{"", "X:1", "T:Opt"}, kPlain,
                                             {"[V:M] G2B2|", "[V:G] " + kTab1, "[V:M] B2G2|", "[V:G] " + kTab2}})));
}

// ---- options that end the run ----

// What an option that ends the run leaves: the staged copy, and no typesetting.
void expectStoppedAtTheOptions(const Sandbox& box) {
  EXPECT_FALSE(box.typesetterArgs());
  EXPECT_EQ(box.files(), (Files{"TMPIN.TMP", "opt.abc"}));
}

struct IllegalRow {
  Args options;
  std::string shown;  // the eight characters after " Illegal option "
};

TEST(Options, AnIllegalOneIsNamedInEightCharacters) {
  const std::vector<IllegalRow> rows = {
      {{"x"}, "x       "},          {{"abcdefghij"}, "abcdefgh"}, {{"mandolin"}, "mandolin"},
      {{"rr"}, "rr      "},         {{"a4x"}, "a4x     "},         {{"debugx"}, "debugx  "},
      {{"m2"}, "m2      "},         {{"ff"}, "ff      "},         {{"b5"}, "b5      "},
      {{""}, "        "},           {{"1 2"}, "1 2     "},         {{" 3"}, " 3      "},
      {{"3+"}, "3+      "},         {{"+3+"}, "+3+     "},         {{"1.5e3"}, "1.5e3   "},
      {{"%"}, "%       "},          {{"?"}, "?       "},          {{"/?"}, "/?      "},
      {{"m", "r", "x"}, "x       "}, {{"x", "12"}, "x       "},   {{"3", "y", "1-2"}, "y       "},
      {{"opt.abc"}, "opt.abc "},
  };
  for (const IllegalRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.options));
    Sandbox box;
    box.write("opt.abc", kTune);
    RunResult result = box.run(join({{"opt"}, row.options}));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              banner() + " Illegal option " + row.shown + "\n Type  kry/?  to get list of options.\n");
    EXPECT_EQ(result.err, "STOP  \n");
    expectStoppedAtTheOptions(box);
  }
}

TEST(Options, TranspositionStopsBeyondElevenSteps) {
  const std::vector<Args> rows = {{"12"},        {"-12"}, {"+12"},     {"123456789"}, {"12345678"},
                                  {"99999999"}, {"012"}, {"12", "x"}, {"3", "-20"}};
  for (const Args& options : rows) {
    SCOPED_TRACE(testing::PrintToString(options));
    Sandbox box;
    box.write("opt.abc", kTune);
    RunResult result = box.run(join({{"opt"}, options}));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, banner());
    EXPECT_EQ(result.err, "STOP Can't transpose more than 11 steps.\n");
    expectStoppedAtTheOptions(box);
  }
}

TEST(Options, ANumberThatCannotBeReadIsAReadError) {
  const std::vector<Args> rows = {{"1-2"}, {"1.2.3"}, {"--5"}, {"-"},    {"+"},     {"."},
                                  {"-."},  {"5-"},    {"+-1"}, {"0.5-"}, {"1..2"}, {"m", "1-2"}};
  for (const Args& options : rows) {
    SCOPED_TRACE(testing::PrintToString(options));
    Sandbox box;
    box.write("opt.abc", kTune);
    RunResult result = box.run(join({{"opt"}, options}));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, banner());
    ASSERT_EQ(lines(result.err).size(), 1U) << result.err;
    EXPECT_EQ(result.err.rfind("kry: ", 0), 0U) << result.err;
    EXPECT_EQ(result.err.find("STOP"), std::string::npos) << result.err;
    expectStoppedAtTheOptions(box);
  }
}

}  // namespace
}  // namespace kry_test
