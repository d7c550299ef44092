// The note as a key signature spells it, as the not-available message names
// it. Where notes are placed: the scanner's table and the tuning table.
#include "convert/pitch.h"

#include <gtest/gtest.h>

#include "table.h"

namespace kry {
namespace {

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
