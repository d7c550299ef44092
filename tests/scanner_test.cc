// The music line scanner, with the accidentals it carries through a bar: from
// a melody line to the tab-voice line's text, or to the stop it makes.
#include "convert/scanner.h"

#include <gtest/gtest.h>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

std::string scan(const std::string& line, TuneState& state, const Instrument& board) {
  std::string room;
  LeftOut leftOut;
  try {
    std::string tab(scanLine(line, state, Fretboard(board), room, leftOut));
    std::string taken, crowded;  // chord notes no free course plays; those of a chord with more notes than courses
    for (const LeftOutNote& note : leftOut.chordNotes) (note.why == Crowded::kCoursesTaken ? taken : crowded) += note.written;
    if (!taken.empty()) tab += " (left out: " + taken + ")";
    if (!crowded.empty()) tab += " (more notes than courses: " + crowded + ")";
    // Notes below the lowest course: how many, and the melody as the tab plays them.
    if (leftOut.belowLowest > 0) tab += " (below: " + std::to_string(leftOut.belowLowest) + ", plays " + asPlayed(line, leftOut.silenced) + ")";
    return tab;
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

}  // namespace
}  // namespace kry
