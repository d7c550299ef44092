// The music line scanner, with the accidentals it carries through a bar: from
// a melody line to the tab-voice line's text, or to the stop it makes.
#include "convert/scanner.h"

#include <gtest/gtest.h>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

std::string scan(const std::string& line, TuneState& state, const Fingerboard& board = {}) {
  std::string room;
  LeftOut leftOut;
  try {
    std::string tab(scanLine(line, state, Fretboard(board), room, leftOut));
    std::string notes;
    for (const std::string& note : leftOut.chordNotes) notes += note;
    if (!notes.empty()) tab += " (left out: " + notes + ")";
    return tab + (leftOut.belowLowest > 0 ? " (below: " + std::to_string(leftOut.belowLowest) + ")" : "");
  } catch (const Stop& stop) {
    return kry_test::stopText(stop.text(), stop.said());
  }
}

TEST(Scanner, WritesEachLineAsTheRulesSay) {
  for (const kry_test::Row& row : kry_test::table("scanner.txt", 5)) {
    TuneState state;
    state.keyIndex = std::stoi(row[0]);
    state.lastLength = row[1] == "-" ? "" : row[1];
    EXPECT_EQ(scan(row[3], state, kry_test::fingerboard(row[2])), row[4]) << row[3];
  }
}

// The last written length and the accidentals of an unfinished bar carry to the next line.
TEST(Scanner, LengthsAndAccidentalsCarryAcrossLines) {
  TuneState state;
  EXPECT_EQ(scan("B2 c2|", state), ",a2  ,b |");
  EXPECT_EQ(scan("B2 ^C", state), ",a  ,,,,e1");
  EXPECT_EQ(scan("C | C", state), ",,,,e  | ,,,,d");
  EXPECT_EQ(state.lastLength, "1");
  EXPECT_EQ(scan("B & c", state), ",a  ");  // a voice overlay goes on to its bar line
  EXPECT_EQ(scan("d | B", state), "| ,a");
  std::string line, tab;
  for (int i = 0; i < 400; ++i) line += "B ", tab += ",a  ";
  EXPECT_EQ(scan(line + "c", state), tab + ",b");
  state.keyIndex = 0;
  scan("[K:G]", state);
  EXPECT_EQ(state.keyIndex, 1);  // an inline key holds for the lines after it
}

}  // namespace
}  // namespace kry
