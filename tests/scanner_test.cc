// The music line scanner: from a melody line to the tab-voice line's text.
#include "convert/scanner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "run/stop.h"

namespace kry {
namespace {

struct ScanCase {
  std::string name;
  int key;
  std::string lastLength;  // the length last written before the line
  std::string line;
  std::string tab;  // after "[V:G] "
};

std::string scan(const std::string& line, TuneState& state, const Fingerboard& board = {}) {
  std::ostringstream messages;
  std::string tab;
  scanLine(line, state, board, messages, tab);
  EXPECT_EQ(messages.str(), "");
  return tab;
}

std::string scanFresh(const std::string& line, int key = 0, const std::string& last = "") {
  TuneState state;
  state.keyIndex = key;
  state.lastLength = last;
  return scan(line, state);
}

TEST(Scanner, TheReelInGNoteByNote) {
  TuneState state;
  state.keyIndex = 1;
  EXPECT_EQ(scan("|:G2 AB [D2G2B2] ~c|", state), "|:,,a2  ,,c1 ,a  [,aaa2]  ,b1 |");
  EXPECT_EQ(state.lastLength, "1");
}

TEST(Scanner, WritesEachCaseAsTheRulesSay) {
  const std::vector<ScanCase> cases{
      {"length written only when it changes", 0, "2", "B2 B", ",a  ,a"},
      {"a note ending the line has no length", 0, "", "B", ",a"},
      {"C10: the 0 is copied", 0, "", "C10|", ",,,,d1 0|"},
      {"C/", 0, "", "C/ D", ",,,,d/  ,,,a"},
      {"C3/2", 0, "", "C3/2 C", ",,,,d3/2  ,,,,d"},
      {"C//", 0, "", "C// C|", ",,,,d//  ,,,,d1 |"},
      {"lengths longer than three characters stay whole", 0, "", "C3/16 C", ",,,,d3/16  ,,,,d"},
      {"a rest", 0, "1", "z2 z|", "z2  z1 |"},
      {"ending numbers go, bar lines stay", 0, "1", "|1 B:|2 B|]", "| ,a :| ,a |]"},
      {"[1 keeps both characters", 0, "1", "[1 B", "[1 ,a"},
      {"[| is a bar line", 0, "1", "[|B", "[|,a"},
      {"a roll is dropped", 0, "1", "~B2", ",a2 "},
      {"grace notes are left out", 0, "1", "{ga}B", ",a"},
      {"chord symbols and annotations too", 0, "1", "\"G\"B \"^x\"B", ",a  ,a"},
      {"an unclosed grace group drops the rest", 0, "1", "B {gab", ",a  "},
      {"an unclosed quote drops the rest", 0, "1", "B \"G B", ",a  "},
      {"chord length inside", 0, "1", "[C2E2G2] [CE2]", "[,,acd2]  [,,,cd] "},
      {"chord length after the bracket", 0, "1", "[CEG]2 [CE]/2|", "[,,acd2]  [,,,cd/2] |"},
      {"a 0 after a chord is copied", 0, "1", "[CE]0", "[,,,cd] 0"},
      {"the first length run is the length", 0, "", "[C2E/G3]", "[,,acd2] "},
      {"a blank ends a chord's notes", 0, "1", "[C E]", "[,,,,d] "},
      {"a sharp in a chord", 0, "1", "[^CE]", "[,,,ce] "},
      {"inline meter: M is no note, but 3/4 is the length", 0, "1", "[M:3/4]", "STOP"},
      {"a chord with one rest-like z stops", 0, "1", "[zC]", "STOP"},
      {"a letter that is no note stops", 0, "1", "B x", "STOP"},
      {"the key signature sharpens F", 1, "1", "F =F", ",,,e  ,,,d"},
      {"accidentals carry to the bar line", 0, "1", "F ^F F | F", ",,,d  ,,,e  ,,,e  | ,,,d"},
      {"a natural overrides the key for the bar", 1, "1", "=F F|F", ",,,d  ,,,d |,,,e"},
      {"every octave, both cases", 0, "1", "^f F,", "c  ,,,,,c"},
      {"a chord's sharp carries out of it", 0, "1", "[^CE] C [C]", "[,,,ce]  ,,,,e  [,,,,e] "},
      {"a bar line inside a chord clears nothing", 0, "1", "^C [C|E] C", ",,,,e  [,,,,e]  ,,,,e"},
      {"[| is no chord", 0, "1", "^C [|C] C", ",,,,e  [|,,,,d ] ,,,,d"},
      {"double bars and repeats clear", 0, "1", "^C || C ^C :| C ^C |: C", ",,,,e  || ,,,,d  ,,,,e  :| ,,,,d  ,,,,e  |: ,,,,d"},
      {"an accidental before a non-letter adds nothing", 0, "1", "^| B", "| ,a"},
      {"b4 is not on by default", 0, "1", "B", ",a"},
  };
  for (const ScanCase& c : cases) {
    TuneState state;
    state.keyIndex = c.key;
    state.lastLength = c.lastLength;
    std::ostringstream messages;
    std::string tab;
    try {
      scanLine(c.line, state, {}, messages, tab);
    } catch (const Stop&) {
      tab = "STOP";
    }
    EXPECT_EQ(tab, c.tab) << c.name << ": " << c.line;
  }
}

TEST(Scanner, LastLengthCarriesAcrossLines) {
  TuneState state;
  EXPECT_EQ(scan("B2 c2|", state), ",a2  ,b |");
  EXPECT_EQ(scan("B2 c|", state), ",a  ,b1 |");
}

TEST(Scanner, AccidentalCarriesIntoTheNextLineUpToItsBar) {
  TuneState state;
  EXPECT_EQ(scan("B ^C", state), ",a1  ,,,,e");
  EXPECT_EQ(scan("C | C", state), ",,,,e  | ,,,,d");
}

TEST(Scanner, MandolinNoteWithNoCourseStillGetsItsLength) {
  TuneState state;
  EXPECT_EQ(scan("E,2 G,|", state, {0, true, false}), "2  ,,,a1 |");
}

TEST(Scanner, TranspositionMovesEveryNote) {
  TuneState up;
  EXPECT_EQ(scan("E, B", up, {2, false, false}), ",,,,,c1  ,c");
  TuneState down;
  EXPECT_EQ(scan("e B", down, {-1, false, false}), ",e1  ,,d");
}

TEST(Scanner, BOnTheThirdString) {
  TuneState state;
  EXPECT_EQ(scan("B c", state, {0, false, true}), ",,e1  ,b");
}

TEST(Scanner, LongLinesAreScannedWhole) {
  std::string line;
  std::string tab;
  for (int i = 0; i < 400; ++i) {
    line += "B ";
    tab += i == 0 ? ",a1  " : ",a  ";
  }
  line += "c";
  tab += ",b";
  EXPECT_EQ(scanFresh(line), tab);
}

TEST(Scanner, LongChordsAreReadWhole) {
  // The last note of a long chord still lands on its course.
  EXPECT_EQ(scanFresh("[CCCCCCCCCCCCCCCCCCCCCCe]"), "[a,,,d1] ");
}

struct StopCase {
  std::string line;
  std::string text;
  std::string messages;
};

TEST(Scanner, StopsWithTheRightText) {
  const std::vector<StopCase> cases{
      {"B ^", "Bad accidental", ""},
      {"[C^]", "Bad accidental", ""},
      {"[^]", "Bad accidental", ""},
      {"[]", "Incomplete chord", ""},
      {"B [CE", "Incomplete chord", ""},
      {"B [", "Incomplete chord", ""},
      {"B !trill!", " ", " Note not available:  0 t  \n"},
      {"[K:D]", " ", " Note not available:  0 K  \n"},
      {"Z4|", " ", " Note not available:  0 Z  \n"},
  };
  for (const StopCase& c : cases) {
    TuneState state;
    std::ostringstream messages;
    std::string tab;
    try {
      scanLine(c.line, state, {}, messages, tab);
      ADD_FAILURE() << c.line << " did not stop";
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.text(), c.text) << c.line;
      EXPECT_EQ(stop.status(), kExitStopped);
    }
    EXPECT_EQ(messages.str(), c.messages) << c.line;
  }
}

}  // namespace
}  // namespace kry
