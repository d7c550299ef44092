// Placing notes on the fingerboard: key signatures, positions, transposition,
// the two instruments and the not-available stop.
#include "convert/pitch.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "run/stop.h"

namespace kry {
namespace {

struct PlaceCase {
  bool mandolin;
  bool bOnThird;
  int key;
  int transposition;
  std::string in;
  std::string spelled;
  std::string tab;  // the tab code after `note`, from six commas
};

TEST(Note, PlacesEachNoteOnItsCourse) {
  const std::vector<PlaceCase> cases{
      {false, false, 0, 0, "E,", "E,", ",,,,,a"},
      {false, false, 0, 0, "e", "e", "a,,,,,"},
      {false, false, 0, 0, "B", "B", ",a,,,,"},
      {false, true, 0, 0, "B", "B", ",,e,,,"},
      {false, false, 0, 0, "^c'", "^c'", "k,,,,,"},
      {false, false, 0, 0, "d'", "d'", "l,,,,,"},
      {false, false, 1, 0, "F", "^F", ",,,e,,"},
      {false, false, 1, 0, "=F", "=F", ",,,d,,"},
      {false, false, 7, 0, "B,", "C", ",,,,d,"},
      {false, false, 12, 0, "G", "_G", ",,,e,,"},
      {false, false, 13, 0, "c'", "b", "h,,,,,"},
      {false, false, 14, 0, "F,", "E,", ",,,,,a"},
      {false, false, 0, 2, "E,", "E,", ",,,,,c"},
      {false, false, 4, -1, "d'", "^d'", "l,,,,,"},  // D sharp from the key, a step down
      {false, false, 11, 0, "d'", "_d'", "k,,,,,"},
      {false, false, 0, 0, "A,", "A,", ",,,,a,"},
      {false, false, 0, 0, "G", "G", ",,a,,,"},
      {false, false, 0, 0, "^G", "^G", ",,b,,,"},
      {false, false, 0, 0, "c", "c", ",b,,,,"},
      {false, false, 0, -11, "d'", "d'", ",e,,,,"},  // 24: course 2 fret 4
      {true, false, 0, 0, "G,", "G,", ",,,a,,"},
      {true, false, 0, 0, "^c", "^c", ",e,,,,"},
      {true, false, 0, 0, "E,", "E,", ",,,,,,"},  // below the mandolin's G: nothing
      {true, false, 0, 0, "d'", "d'", "l,,,,,"},
      {true, true, 0, 0, "B", "B", ",c,,,,"},  // b4 is a guitar matter
      {true, false, 0, 0, "D", "D", ",,a,,,"},
      {true, false, 0, 0, "A", "A", ",a,,,,"},
  };
  for (const PlaceCase& c : cases) {
    std::string text = c.in;
    std::string tab = ",,,,,,";
    std::ostringstream messages;
    note(c.key, text, tab, {c.transposition, c.mandolin, c.bOnThird}, messages);
    EXPECT_EQ(text, c.spelled) << c.in << " key " << c.key;
    EXPECT_EQ(tab, c.tab) << c.in << " key " << c.key << " transposed " << c.transposition;
    EXPECT_EQ(messages.str(), "");
  }
}

TEST(Note, ChordNotesShareOneTabCode) {
  std::string tab = ",,,,,,";
  std::ostringstream messages;
  for (std::string text : {"C", "E", "G"}) note(0, text, tab, {}, messages);
  EXPECT_EQ(tab, ",,acd,");
  tab = ",,,,,,";
  for (std::string text : {"c", "d"}) note(0, text, tab, {}, messages);
  EXPECT_EQ(tab, ",d,,,,");  // the later note on a course wins
}

struct UnplaceableCase {
  int key;
  int transposition;
  std::string in;
  std::string message;
};

TEST(Note, StopsWithTheNotAvailableMessage) {
  const std::vector<UnplaceableCase> cases{
      {0, 1, "d'", " Note not available: 36 d' \n"},
      {0, -1, "E,", " Note not available:  0 E, \n"},
      {0, -11, "E,", " Note not available: ** E, \n"},
      {0, 0, "x", " Note not available:  0 x  \n"},
      {0, 5, "x", " Note not available:  5 x  \n"},     // never placed, transposed or not
      {0, 3, "H", " Note not available:  3 H  \n"},
      {0, 0, "C,,", " Note not available:  0 C,,\n"},
      {0, 9, "C,,", " Note not available:  9 C,,\n"},
      {4, 0, "D,", " Note not available:  0 ^D,\n"},    // below the compass once sharpened
      {4, 0, "d'", " Note not available: 36 ^d'\n"},
      {0, 0, "^c''", " Note not available:  0 ^c''\n"},  // longer texts are shown whole
      {9, 0, "E,", " Note not available:  0 _E,\n"},
  };
  for (const UnplaceableCase& c : cases) {
    std::string text = c.in;
    std::string tab = ",,,,,,";
    std::ostringstream messages;
    try {
      note(c.key, text, tab, {c.transposition, false, false}, messages);
      ADD_FAILURE() << c.in << " was placed";
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.text(), " ");
      EXPECT_EQ(stop.status(), kExitStopped);
    }
    EXPECT_EQ(messages.str(), c.message) << c.in;
    EXPECT_EQ(tab, ",,,,,,");
  }
}

// Every key index against the note texts its signature respells.
TEST(KeySpelling, EachSignatureRespellsItsOwnNotes) {
  const std::vector<std::string> plain{"B,", "C", "D", "E", "F", "G", "A", "B", "c", "d", "e", "f", "g"};
  const std::vector<std::vector<std::string>> spelled{
      {"B,", "C", "D", "E", "F", "G", "A", "B", "c", "d", "e", "f", "g"},             // 0
      {"B,", "C", "D", "E", "^F", "G", "A", "B", "c", "d", "e", "^f", "g"},           // 1 G
      {"B,", "^C", "D", "E", "^F", "G", "A", "B", "^c", "d", "e", "^f", "g"},         // 2 D
      {"B,", "^C", "D", "E", "^F", "^G", "A", "B", "^c", "d", "e", "^f", "^g"},       // 3 A
      {"B,", "^C", "^D", "E", "^F", "^G", "A", "B", "^c", "^d", "e", "^f", "^g"},     // 4 E
      {"B,", "^C", "^D", "E", "^F", "^G", "^A", "B", "^c", "^d", "e", "^f", "^g"},    // 5 B
      {"B,", "^C", "^D", "F", "^F", "^G", "^A", "B", "^c", "^d", "f", "^f", "^g"},    // 6 F#
      {"C", "^C", "^D", "F", "^F", "^G", "^A", "c", "^c", "^d", "f", "^f", "^g"},     // 7 C#
      {"_B,", "C", "D", "E", "F", "G", "A", "_B", "c", "d", "e", "f", "g"},           // 8 F
      {"_B,", "C", "D", "_E", "F", "G", "A", "_B", "c", "d", "_e", "f", "g"},         // 9 Bb
      {"_B,", "C", "D", "_E", "F", "G", "_A", "_B", "c", "d", "_e", "f", "g"},        // 10 Eb
      {"_B,", "C", "_D", "_E", "F", "G", "_A", "_B", "c", "_d", "_e", "f", "g"},      // 11 Ab
      {"_B,", "C", "_D", "_E", "F", "_G", "_A", "_B", "c", "_d", "_e", "f", "_g"},    // 12 Db
      {"_B,", "B,", "_D", "_E", "F", "_G", "_A", "_B", "B", "_d", "_e", "f", "_g"},   // 13 Gb
      {"_B,", "B,", "_D", "_E", "E", "_G", "_A", "_B", "B", "_d", "_e", "e", "_g"},   // 14 Cb
  };
  for (int key = 0; key < 15; ++key)
    for (std::size_t i = 0; i < plain.size(); ++i)
      EXPECT_EQ(keySpelling(key, plain[i]), spelled[key][i]) << plain[i] << " in key " << key;
}

TEST(KeySpelling, OctaveFormsAndWrittenAccidentals) {
  EXPECT_EQ(keySpelling(2, "c'"), "^c'");
  EXPECT_EQ(keySpelling(13, "c'"), "b");
  EXPECT_EQ(keySpelling(13, "C,"), "C,");  // C flat does not reach down to C,
  EXPECT_EQ(keySpelling(7, "b"), "c'");
  EXPECT_EQ(keySpelling(6, "E,"), "F,");
  EXPECT_EQ(keySpelling(1, "=F"), "=F");   // a written natural overrides the key
  EXPECT_EQ(keySpelling(8, "^B"), "^B");
  EXPECT_EQ(keySpelling(4, "d'"), "^d'");
  EXPECT_EQ(keySpelling(11, "d'"), "_d'");
  EXPECT_EQ(keySpelling(3, "d'"), "d'");
  EXPECT_EQ(keySpelling(15, "F"), "F");    // outside 1..14 nothing changes
}

TEST(PitchPosition, CoversTheCompassHalfStepByHalfStep) {
  const std::vector<std::string> chromatic{
      "E,", "F,", "^F,", "G,", "^G,", "A,", "^A,", "B,", "C", "^C", "D", "^D", "E", "F", "^F", "G", "^G", "A",
      "^A", "B", "c", "^c", "d", "^d", "e", "f", "^f", "g", "^g", "a", "^a", "b", "c'", "^c'", "d'"};
  for (std::size_t i = 0; i < chromatic.size(); ++i)
    EXPECT_EQ(pitchPosition(chromatic[i]), static_cast<int>(i) + 1) << chromatic[i];
  for (std::string outside : {"D,", "_E,", "^d'", "e'", "C,,", "^^C", "z", "c''"})
    EXPECT_TRUE(pitchPosition(outside) == 0 || pitchPosition(outside) > 35) << outside;
}

}  // namespace
}  // namespace kry

namespace kry {
namespace {

// The chart the scanner looks notes up in agrees with `note` on every note
// text it codes, in every key, on every fingerboard.
TEST(FingerChart, AgreesWithNoteEverywhere) {
  const std::string accidentals = " ^=_";
  const std::string letters = "ABCDEFGabcdefg";
  const std::vector<std::string> marks{"", ",", "'"};
  FingerChart chart;
  for (const Fingerboard& board :
       {Fingerboard{0, false, false}, Fingerboard{0, false, true}, Fingerboard{-11, false, false},
        Fingerboard{3, true, false}, Fingerboard{-1, true, true}, Fingerboard{11, false, true}}) {
    for (int key = 0; key < 15; ++key) {
      for (char accidental : accidentals) {
        for (char letter : letters) {
          for (const std::string& mark : marks) {
            std::string written = std::string(1, letter) + mark;
            int code = noteCode(accidental, written);
            ASSERT_GE(code, 0) << accidental << written;
            std::string text = (accidental == ' ' ? "" : std::string(1, accidental)) + written;
            std::string tab = ",,,,,,";
            std::ostringstream messages;
            int course = -1;
            try {
              note(key, text, tab, board, messages);
              std::size_t at = tab.find_first_not_of(',');
              course = at == std::string::npos ? 0 : static_cast<int>(at) + 1;
            } catch (const Stop&) {
            }
            FingerChart::Spot spot = chart.at(key, code, board);
            EXPECT_EQ(spot.course, course) << text << " key " << key;
            if (course > 0) {
              EXPECT_EQ(spot.letter, tab[static_cast<std::size_t>(course - 1)]) << text;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(noteCode(' ', "C,,"), -1);
  EXPECT_EQ(noteCode('^', "c''"), -1);
  EXPECT_EQ(noteCode(' ', "x"), -1);
}

}  // namespace
}  // namespace kry
