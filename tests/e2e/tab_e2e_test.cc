// The tablature of whole runs, byte for byte: a jig in D on the guitar and
// the mandolin, transposed up and down, with the B on the third string, the
// fix-up pass and no rhythm flags; the key field's mode words; and the stops
// a bad note or chord makes, with the work files they leave.
#include <gtest/gtest.h>

#include <map>

#include "harness.h"
#include "texts.h"

namespace kry_test {
namespace {

using Args = std::vector<std::string>;
using Files = std::vector<std::string>;
using Lines = std::vector<std::string>;

// Chord symbols, a grace note, a chord with its length after the bracket, a
// rest, repeat endings, written and carried accidentals, octave marks, short
// notes, a chord first on a line and a note written with a slash.
const Lines kJigMusic = {
    "|:\"D\"d2A FEF|{c}A3 [DA]2 z|",
    "[1 ^G=F_E D3:|2 e/f/g a3||",
    "B,2 ^G G B b|",
    "[DA]B/2|",
    "A/ B|",
};
const std::string kJig = "X:1\nT:Tab Test\nM:6/8\nL:1/8\nK:D\n" + [] {
  std::string music;
  for (const std::string& line : kJigMusic) music += line + "\n";
  return music;
}();

// The converted jig: its header, the block after K:D, and each music line as
// melody line and tab line.
Lines jigConverted(const Lines& block, const Lines& tabs) {
  Lines tune = join({{"", "X:1", "T:Tab Test", "M:6/8", "L:1/8", "K:D"}, block});
  for (std::size_t i = 0; i < kJigMusic.size(); ++i) {
    tune.push_back("[V:M] " + kJigMusic[i]);
    tune.push_back("[V:G] " + tabs[i]);
  }
  return tune;
}

const Lines kMandolinBlock = {"%%pageheight 11in", "V:M clef=treble", "%",  "%", "V:G clef=spanish4tab",
                              "%%staffsep 2cm",    "%%tabrhstyle modern", "%"};
const Lines kNoFlagsBlock = {"%%pageheight 11in", "V:M clef=treble", "%", "%", "V:G clef=guitartab",
                             "%%staffsep 2cm",    "%%tabrhstyle none", "%"};

const Lines kGuitarTabs = {
    "|:,d2 ,,c1  ,,,e ,,,c ,,,e |,,c3  [,,ca2]  z1 |",
    "[1 ,,b ,,,d ,,,b  ,,,a3 :| a/ c d1  f3 ||",
    ",,,,c2  ,,b1  ,,b  ,a  h |",
    "[,,ca] ,a/2 |",
    ",,c/  ,a1 |",
};

struct JigRow {
  Args options;
  Lines block;
  Lines tabs;
  Args commandTail;  // after "-O jig"
};

TEST(Tablature, TheJigIsConvertedByteForByte) {
  const std::vector<JigRow> rows = {
      {{}, kDefaultBlock, kGuitarTabs, {}},
      {{"m"},
       kMandolinBlock,
       {"|:,f2 ,a1  ,,e ,,c ,,e |,a3  [,aa2]  z1 |", "[1 ,,g ,,d ,,b  ,,a3 :| a/ c d1  f3 ||",
        ",,,e2  ,,g1  ,,g  ,c  h |", "[,aa] ,c/2 |", ",a/  ,c1 |"},
       {}},
      {{"2"},
       kDefaultBlock,
       {"|:a2 ,a1  ,,b ,,,e ,,b |,a3  [,a,c2]  z1 |", "[1 ,,d ,,a ,,,d  ,,,c3 :| c/ e f1  h3 ||",
        ",,,,e2  ,,d1  ,,d  ,c  k |", "[,a,c] ,c/2 |", ",a/  ,c1 |"},
       {"-t", "2"}},
      {{"-2"},
       kDefaultBlock,
       {"|:,b2 ,,a1  ,,,c ,,,a ,,,c |,,a3  [,,a,d2]  z1 |", "[1 ,,,e ,,,b ,,,,e  ,,,,d3 :| ,d/ a b1  d3 ||",
        ",,,,a2  ,,,e1  ,,,e  ,,c  f |", "[,,a,d] ,,c/2 |", ",,a/  ,,c1 |"},
       {"-t", "_2"}},
      {{"b4"},
       kDefaultBlock,
       {kGuitarTabs[0], kGuitarTabs[1], ",,,,c2  ,,b1  ,,b  ,,e  h |", "[,,ca] ,,e/2 |", ",,c/  ,,e1 |"},
       {}},
      {{"r"}, kNoFlagsBlock, kGuitarTabs, {}},
      // The fix-up pass: the rhythm flag after the first fret letter, before a
      // chord's closing bracket, and none where a length already stands.
      {{"f"},
       kDefaultBlock,
       {kGuitarTabs[0], "[1 ,,b1 ,,,d ,,,b  ,,,a3 :| a/ c d1  f3 ||", kGuitarTabs[2], "[,,ca1] ,a/2 |",
        kGuitarTabs[4]},
       {}},
  };
  for (const JigRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.options));
    Sandbox box;
    box.write("jig.abc", kJig);
    RunResult result = box.run(join({{"jig", "debug"}, row.options}));
    std::string shown = "abctab2ps temp.abc -1 -O jig";
    for (const std::string& piece : row.commandTail) shown += " " + piece;
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, banner() + "\n JIG.ABC processed.\n " + shown + "\n\n" + kFakeTypesetterSays);
    EXPECT_EQ(result.err, "STOP  \n");
    std::string expected = crlf(jigConverted(row.block, row.tabs));
    EXPECT_EQ(box.read("TEMP.ABC"), expected);
    EXPECT_EQ(box.typesetterTune(), expected);
    EXPECT_EQ(box.typesetterArgs(),
              join({{box.path("bin/abctab2ps"), "TEMP.ABC", "-1", "-O", "jig"}, row.commandTail}));
    EXPECT_EQ(box.files(), (Files{"TEMP.ABC", "jig.abc"}));
  }
}

// KRY97.ABC itself is left behind when the run stops at the overwrite
// question: the fix-up pass reads the converted tune as the plain copy would.
TEST(Tablature, TheFixUpPassWorksFromTheUnchangedConvertedTune) {
  Sandbox box;
  box.write("jig.abc", kJig);
  box.write("TEMP.ABC", "old\r\n");
  RunResult result = box.run({"jig", "f"}, std::string("n\n"));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "STOP Processing halted!\n");
  EXPECT_EQ(box.read("KRY97.ABC"), crlf(jigConverted(kDefaultBlock, kGuitarTabs)));
  EXPECT_EQ(box.read("TEMP.ABC"), "old\r\n");
}

// ---- how single lines become tab lines ----

struct LineRow {
  std::string key;  // the key field
  Args options;
  std::string music;
  std::string tab;  // after "[V:G] "
};

void expectTabLines(const std::vector<LineRow>& rows) {
  for (const LineRow& row : rows) {
    SCOPED_TRACE(row.key + " " + testing::PrintToString(row.options) + " " + row.music);
    Sandbox box;
    box.write("t.abc", "X:1\n" + row.key + "\n" + row.music + "\n");
    RunResult result = box.run(join({{"t", "debug"}, row.options}));
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    Lines tune = lines(box.read("TEMP.ABC"));
    ASSERT_GE(tune.size(), 2U);
    EXPECT_EQ(tune[tune.size() - 2], "[V:M] " + row.music + "\r");
    EXPECT_EQ(tune.back(), "[V:G] " + row.tab + "\r");
  }
}

TEST(Tablature, ChordLengthsGraceNotesAndChordSymbols) {
  expectTabLines({
      {"K:C", {}, "[CEG]2 C2|", "[,,acd2]  ,,,,d |"},
      {"K:C", {}, "[CE]/2 C|", "[,,,cd/2]  ,,,,d1 |"},
      {"K:C", {}, "[C2E2]3 C|", "[,,,cd2] 3 ,,,,d1 |"},
      {"K:C", {}, "[CE]0 C|", "[,,,cd1] 0 ,,,,d |"},
      // A long chord keeps all its notes: the last B replaces the c on the second string.
      {"K:C", {}, "[C2E2G2c2e2g2C2E2G2c2B2]|", "[daacd2] |"},
      {"K:C", {}, "C{g}D \"G\"E|", ",,,,d1 ,,,a  ,,,c |"},
      {"K:C", {}, "C {ga C|", ",,,,d1  "},
      {"K:C", {}, "C \"Am C|", ",,,,d1  "},
      {"K:C", {}, "C10 z2 C//|", ",,,,d1 0 z2  ,,,,d// |"},
      {"K:C", {}, "~C3/2 D|1 E:|2 F|]", ",,,,d3/2  ,,,a1 | ,,,c :| ,,,d |]"},
      // The mandolin has no course for E, F and F sharp below its G string.
      {"K:C", {"m"}, "E,2 C|", "2  ,,,f1 |"},
  });
}

// The top D follows the key like every other D.
TEST(Tablature, TheTopDFollowsTheKeySignature) {
  expectTabLines({
      {"K:C", {}, "d'|", "l1 |"},
      {"K:E", {"-1"}, "d'|", "l1 |"},
      {"K:Ab", {}, "d'|", "k1 |"},
      {"K:E", {}, "=d'|", "l1 |"},
  });
}

// Music lines of any length are converted whole.
TEST(Tablature, LongLinesAreConvertedWhole) {
  std::string title = "T:" + std::string(300, 't');
  // 150 notes C: each but the last is followed by its own blank and the line's.
  std::string music = "C";
  std::string tab = ",,,,d1  ";
  for (int k = 1; k < 150; ++k) {
    music += " C";
    tab += k < 149 ? ",,,,d  " : ",,,,d";
  }
  Sandbox box;
  box.write("long.abc", "X:1\n" + title + "\nK:C\n" + music + "\n");
  RunResult result = box.run({"long", "debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(box.read("TEMP.ABC"),
            crlf(join({{"", "X:1", title, "K:C"}, kDefaultBlock, {"[V:M] " + music, "[V:G] " + tab}})));
}

// The accidentals of a bar outlive line ends, tunes and key fields, up to the next bar line.
TEST(Tablature, AccidentalsLastUntilTheNextBarLine) {
  Sandbox box;
  box.write("acc.abc", "X:1\nK:C\nC2 ^F\nF|F\nX:2\nK:C\n^G\nX:3\nK:D\nG|G\n");
  RunResult result = box.run({"acc", "debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(box.read("TEMP.ABC"),
            crlf(join({{"", "X:1", "K:C"}, kDefaultBlock,
                       {"[V:M] C2 ^F", "[V:G] ,,,,d2  ,,,e", "[V:M] F|F", "[V:G] ,,,e1 |,,,d", "", "X:2", "K:C"},
                       kDefaultBlock,
                       {"[V:M] ^G", "[V:G] ,,b", "", "X:3", "K:D"},
                       kDefaultBlock,
                       {"[V:M] G|G", "[V:G] ,,b1 |,,a"}})));
}

// ---- the key field ----

// The line F C G D A E B on the guitar, for each key index: the key's sharps
// come in the order F C G D A E B, its flats in the order B E A D G C F.
const std::map<int, std::string> kScaleTabs = {
    {0, ",,,d1 ,,,,d ,,a ,,,a ,,c ,,,c ,a |"},    {1, ",,,e1 ,,,,d ,,a ,,,a ,,c ,,,c ,a |"},
    {2, ",,,e1 ,,,,e ,,a ,,,a ,,c ,,,c ,a |"},    {3, ",,,e1 ,,,,e ,,b ,,,a ,,c ,,,c ,a |"},
    {4, ",,,e1 ,,,,e ,,b ,,,b ,,c ,,,c ,a |"},    {5, ",,,e1 ,,,,e ,,b ,,,b ,,d ,,,c ,a |"},
    {6, ",,,e1 ,,,,e ,,b ,,,b ,,d ,,,d ,a |"},    {7, ",,,e1 ,,,,e ,,b ,,,b ,,d ,,,d ,b |"},
    {8, ",,,d1 ,,,,d ,,a ,,,a ,,c ,,,c ,,d |"},   {9, ",,,d1 ,,,,d ,,a ,,,a ,,c ,,,b ,,d |"},
    {10, ",,,d1 ,,,,d ,,a ,,,a ,,b ,,,b ,,d |"},  {11, ",,,d1 ,,,,d ,,a ,,,,e ,,b ,,,b ,,d |"},
    {12, ",,,d1 ,,,,d ,,,e ,,,,e ,,b ,,,b ,,d |"}, {13, ",,,d1 ,,,,c ,,,e ,,,,e ,,b ,,,b ,,d |"},
    {14, ",,,c1 ,,,,c ,,,e ,,,,e ,,b ,,,b ,,d |"},
};

struct KeyRow {
  std::string field;
  int keyIndex;  // the major or minor key with the same signature
};

TEST(KeyField, ModeWordsGiveTheKeySignatureTheyMean) {
  const std::vector<KeyRow> rows = {
      {"K:C", 0},         {"K:G", 1},         {"K:D", 2},          {"K:A", 3},        {"K:E", 4},
      {"K:B", 5},         {"K:F#", 6},        {"K:C#", 7},         {"K:F", 8},        {"K:Bb", 9},
      {"K:Eb", 10},       {"K:Ab", 11},       {"K:Db", 12},        {"K:Gb", 13},      {"K:Cb", 14},
      {"K:Em", 1},        {"K:F#m", 3},       {"K:Bbm", 12},       {"K:Ebm", 13},     {"K:Abm", 14},
      {"K:G#m", 5},       {"K:Dmix", 1},      {"K:Ador", 1},       {"K:Edor", 2},     {"K:Gmaj", 1},
      {"K:AMin", 0},      {"K:A minor", 0},   {"K:E minor", 1},    {"K:Fdor", 10},    {"K:Bloc", 0},
      {"K:Emin", 1},      {"K:G major", 1},   {"K:DMix", 1},       {"K:D Mixolydian", 1},
      {"K:DMIX", 1},      {"K:Dion", 2},      {"K:Aaeo", 0},       {"K:Elyd", 5},     {"K:Fphr", 12},
      {"K:Bphr", 1},      {"K:Cmix", 8},      {"K:Gdor", 8},       {"K:F#dor", 4},    {"K:Bbmix", 10},
      {"K:Dminor", 8},    {"K:Dm7", 8},       {"K:Dmaj7", 2},      {"K:D maj", 2},    {"K:Dm", 8},
      // A word that is none of the modes: only a lower-case m right after the tonic makes it minor.
      {"K:Dmi", 8},       {"K:D mi", 2},      {"K:D exp ^f", 2},
      // The tonic as written: lower case, none, nothing, G sharp major.
      {"K:g", 0},         {"K:none", 0},      {"K:", 0},           {"K:G#", 0},       {"K:HP", 0},
      {"K:   D", 2},      {"k:D", 2},
  };
  for (const KeyRow& row : rows) {
    SCOPED_TRACE(row.field);
    Sandbox box;
    box.write("key.abc", "X:1\n" + row.field + "\nFCGDAEB|\n");
    RunResult result = box.run({"key", "debug"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(box.read("TEMP.ABC"), crlf(join({{"", "X:1", row.field}, kDefaultBlock,
                                               {"[V:M] FCGDAEB|", "[V:G] " + kScaleTabs.at(row.keyIndex)}})));
  }
}

TEST(KeyField, MusicBeforeAnyKeyFieldIsInC) {
  Sandbox box;
  box.write("nokey.abc", "FCGDAEB|\nX:1\nK:D\nFCGDAEB|\n");
  RunResult result = box.run({"nokey", "debug"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(box.read("TEMP.ABC"),
            crlf(join({{"[V:M] FCGDAEB|", "[V:G] " + kScaleTabs.at(0), "", "X:1", "K:D"}, kDefaultBlock,
                       {"[V:M] FCGDAEB|", "[V:G] " + kScaleTabs.at(2)}})));
}

// ---- the stops of the conversion ----

struct StopRow {
  std::string key;
  Args options;
  std::string badLine;
  std::string message;  // written on standard output before the stop, or ""
  std::string stopLine;
};

// What a stop in the conversion leaves: the staged copy, and the converted
// tune up to the melody line of the line that stopped it.
TEST(ConversionStops, EndTheRunWithTheMelodyLineWrittenAndNoTabLine) {
  const std::string notAvailable = "STOP  \n";
  const std::vector<StopRow> rows = {
      {"K:C", {}, "AB^", "", "STOP Bad accidental\n"},
      {"K:C", {}, "A [^] B|", "", "STOP Bad accidental\n"},
      {"K:C", {}, "[CE^]|", "", "STOP Bad accidental\n"},
      {"K:C", {}, "A [] B|", "", "STOP Incomplete chord\n"},
      {"K:C", {}, "A [CE", "", "STOP Incomplete chord\n"},
      {"K:C", {}, "A [CE B|", "", "STOP Incomplete chord\n"},
      {"K:C", {"1"}, "c d'|", " Note not available: 36 d' \n", notAvailable},
      {"K:C", {"-1"}, "G E,|", " Note not available:  0 E, \n", notAvailable},
      {"K:C", {"-11"}, "E,|", " Note not available: ** E, \n", notAvailable},
      {"K:C", {"m", "11"}, "c'|", " Note not available: 44 c' \n", notAvailable},
      {"K:E", {}, "d'|", " Note not available: 36 ^d'\n", notAvailable},
      {"K:E", {}, "D,|", " Note not available:  0 ^D,\n", notAvailable},
      {"K:C", {}, "C,|", " Note not available:  0 C, \n", notAvailable},
      {"K:C", {}, "A x|", " Note not available:  0 x  \n", notAvailable},
      {"K:C", {"3"}, "A x|", " Note not available:  3 x  \n", notAvailable},
      {"K:C", {}, "!trill!A|", " Note not available:  0 t  \n", notAvailable},
      {"K:C", {"-5"}, "c''|", " Note not available: -5 c''\n", notAvailable},
      {"K:C", {}, "^c c''|", " Note not available:  0 ^c''\n", notAvailable},
      {"K:C", {}, "[CH]|", " Note not available:  0 H  \n", notAvailable},
  };
  for (const StopRow& row : rows) {
    SCOPED_TRACE(row.key + " " + testing::PrintToString(row.options) + " " + row.badLine);
    Sandbox box;
    box.write("bad.abc", "X:1\n" + row.key + "\ncd|\n" + row.badLine + "\ncd|\n");
    RunResult result = box.run(join({{"bad"}, row.options}));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, banner() + row.message);
    EXPECT_EQ(result.err, row.stopLine);
    EXPECT_FALSE(box.typesetterArgs());
    EXPECT_EQ(box.files(), (Files{"KRY97.ABC", "TMPIN.TMP", "bad.abc"}));
    Lines before = lines(box.read("KRY97.ABC"));
    ASSERT_GE(before.size(), 3U);
    EXPECT_EQ(before[before.size() - 3].rfind("[V:M] cd|", 0), 0U);
    EXPECT_EQ(before[before.size() - 1], "[V:M] " + row.badLine + "\r");
    EXPECT_EQ(box.read("KRY97.ABC").substr(box.read("KRY97.ABC").size() - 2), "\r\n");
  }
}

}  // namespace
}  // namespace kry_test
