// Placing notes on the fingerboard: the key signature, the position in the
// compass, the transposition, the two instruments and the not-available stop.
#include "convert/pitch.h"

#include <gtest/gtest.h>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

// The note as `note` leaves it, and the tab code from six commas or the stop.
std::pair<std::string, std::string> place(int key, std::string text, const Fingerboard& board) {
  std::string tab = ",,,,,,";
  std::ostringstream messages;
  try {
    note(key, text, tab, board, messages);
  } catch (const Stop& stop) {
    tab = kry_test::stopText(stop.text(), messages.str());
  }
  return {text, tab};
}

TEST(Note, PlacesEachNoteOnItsCourseOrStops) {
  for (const kry_test::Row& row : kry_test::table("notes.txt", 5))
    EXPECT_EQ(place(std::stoi(row[0]), row[1], kry_test::fingerboard(row[2])), std::pair(row[3], row[4])) << row[1];
  std::string tab = ",,,,,,";
  std::ostringstream messages;
  for (std::string text : {"C", "E", "G", "c", "d"}) note(0, text, tab, {}, messages);
  EXPECT_EQ(tab, ",dacd,");  // chord notes share one tab code, and the later on a course wins
}

TEST(KeySpelling, EachSignatureRespellsItsOwnNotes) {
  for (const kry_test::Row& row : kry_test::table("spelling.txt", 2)) {
    std::string got;
    for (std::string text : {"B,", "C", "D", "E", "F", "G", "A", "B", "c", "d", "e", "f", "g", "c'", "d'"}) {
      if (!got.empty()) got += ' ';
      got += keySpelling(std::stoi(row[0]), text);
    }
    EXPECT_EQ(got, row[1]) << "key " << row[0];
  }
  EXPECT_EQ(keySpelling(13, "C,"), "C,");  // C flat does not reach down to C,
  EXPECT_EQ(keySpelling(1, "=F"), "=F");   // a written accidental overrides the key
}

TEST(PitchPosition, CoversTheCompassHalfStepByHalfStep) {
  std::istringstream notes("E, F, ^F, G, ^G, A, ^A, B, C ^C D ^D E F ^F G ^G A ^A B c ^c d ^d e f ^f g ^g a ^a b c' ^c' d'");
  int position = 0;
  for (std::string text; notes >> text;) EXPECT_EQ(pitchPosition(text), ++position) << text;
  for (std::string outside : {"D,", "_E,", "e'", "C,,", "^^C", "z", "c''"}) EXPECT_EQ(pitchPosition(outside), 0) << outside;
  EXPECT_EQ(pitchPosition("_c"), 20);
  EXPECT_EQ(pitchPosition("^B,"), 9);
}

// The chart the scanner looks notes up in agrees with `note` on every note
// text it codes, in every key, on every fingerboard.
TEST(FingerChart, AgreesWithNoteEverywhere) {
  FingerChart chart;
  for (const char* board : {"guitar", "guitar b4", "guitar -11", "mandolin +3", "mandolin -1 b4", "guitar +11 b4"})
    for (int key = 0; key < 15; ++key)
      for (char accidental : std::string(" ^=_"))
        for (char letter : std::string("ABCDEFGabcdefg"))
          for (const std::string mark : {"", ",", "'"}) {
            std::string written = std::string(1, letter) + mark;
            std::string tab = place(key, (accidental == ' ' ? "" : std::string(1, accidental)) + written, kry_test::fingerboard(board)).second;
            std::size_t at = tab.find_first_not_of(',');
            int course = tab[0] == 'S' ? -1 : at == std::string::npos ? 0 : static_cast<int>(at) + 1;
            FingerChart::Spot spot = chart.at(key, noteCode(accidental, written), kry_test::fingerboard(board));
            EXPECT_EQ(spot.course, course) << accidental << written << " key " << key << " " << board;
            if (course > 0) { EXPECT_EQ(spot.letter, tab[static_cast<std::size_t>(course - 1)]); }
          }
  EXPECT_EQ(noteCode(' ', "C,,"), -1);
  EXPECT_EQ(noteCode('^', "c''"), -1);
  EXPECT_EQ(noteCode(' ', "x"), -1);
}

}  // namespace
}  // namespace kry
