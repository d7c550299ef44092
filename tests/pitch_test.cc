// Placing notes on the fingerboard: the key signature, the position in the
// compass, the transposition, the two instruments and the not-available stop.
#include "convert/pitch.h"

#include <gtest/gtest.h>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

// The tab code a note writes into six commas, or the stop with what it says.
std::string place(int key, const std::string& text, const Fingerboard& board) {
  bool own = isAccidental(text[0]);
  try {
    const Fretboard fretboard(board);
    Spot spot = note(key, own ? text[0] : ' ', std::string_view(text).substr(own ? 1 : 0), fretboard).spot;
    std::string tab = ",,,,,,";
    if (spot.course > 0) tab[static_cast<std::size_t>(spot.course - 1)] = fretLetter(spot.fret);
    return tab;
  } catch (const Stop& stop) {
    return kry_test::stopText(stop.text(), stop.said());
  }
}

TEST(Note, PlacesEachNoteOnItsCourseOrStops) {
  for (const kry_test::Row& row : kry_test::table("notes.txt", 5)) {
    EXPECT_EQ(keySpelling(std::stoi(row[0]), row[1]), row[3]) << row[1];
    EXPECT_EQ(place(std::stoi(row[0]), row[1], kry_test::fingerboard(row[2])), row[4]) << row[1];
  }
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

}  // namespace
}  // namespace kry
