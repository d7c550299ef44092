// The fix-up pass: the rhythm length on the first note of each tab-voice line
// after the first, and the length each line leaves for the next (getq's).
#include "fixup/fixup.h"

#include <gtest/gtest.h>

#include "table.h"

namespace kry {
namespace {

TEST(FixUp, PutsTheRhythmLengthWhereItBelongs) {
  std::vector<kry_test::Row> rows = kry_test::table("fixup.txt", 2);
  rows.push_back({"[V:G] a2\\n[V:G] b " + std::string(1000, '|'), "[V:G] a2\\n[V:G] b2 " + std::string(1000, '|')});
  for (const kry_test::Row& row : rows) {
    FixUp fixUp;
    std::string out, in = row[0] + "\\n";
    for (std::size_t at = 0, end; (end = in.find("\\n", at)) != std::string::npos; at = end + 2)
      out += (at == 0 ? "" : "\\n") + std::string(fixUp.line(in.substr(at, end - at)));
    EXPECT_EQ(out, row[1]) << row[0];
  }
}

}  // namespace
}  // namespace kry
