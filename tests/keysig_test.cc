// Key fields to key indexes: the key table, the tonic and its sign, minor,
// the mode words, and the column the tonic is sought up to.
#include "convert/keysig.h"

#include <gtest/gtest.h>

#include "table.h"

namespace kry {
namespace {

TEST(KeyField, GivesTheKeyIndexOfItsSignature) {
  for (const kry_test::Row& row : kry_test::table("keys.txt", 2))
    EXPECT_EQ(getkey(keyCodeOf(row[0])), std::stoi(row[1])) << row[0];
  EXPECT_EQ(getkey("G  "), 1);  // a key code padded with blanks
}

}  // namespace
}  // namespace kry
