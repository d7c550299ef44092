// The fix-up pass: the rhythm length on the first note of each tab-voice line
// after the first, and the length each line leaves for the next (getq's); and
// the converted tune given back from the fixed-up one by what the pass changed.
#include "fixup/fixup.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "run/chunks.h"
#include "run/ledger.h"
#include "support/fakes.h"
#include "table.h"

namespace kry {
namespace {

// "\n" between lines, as the table writes them, and CR LF.
std::string crlf(std::string lines) {
  for (std::size_t at = 0; (at = lines.find("\\n", at)) != std::string::npos;) lines.replace(at, 2, "\r\n");
  return lines + "\r\n";
}

TEST(FixUp, PutsTheRhythmLengthWhereItBelongsAndGivesItBack) {
  std::vector<kry_test::Row> rows = kry_test::table("fixup.txt", 2);
  rows.push_back({"[V:G] a2\\n[V:G] b " + std::string(1000, '|'), "[V:G] a2\\n[V:G] b2 " + std::string(1000, '|')});
  for (const kry_test::Row& row : rows) {
    TextSink fixed, givenBack;
    FixUpLedger changes(std::make_unique<kry_test::MemoryScratch>(), 2);
    FixUpSink fixUp(fixed, &changes);
    const std::string converted = crlf(row[0]);
    kry_test::Trickle in(converted);
    eachLine(in, [&](std::string_view line) { fixUp.put(line); });
    EXPECT_EQ(fixed.text(), crlf(row[1])) << row[0];
    // The conversion writes no blanks at the end of other lines than tab-voice lines.
    kry_test::Trickle back(fixed.text()), original(converted);
    changes.giveBack(back, givenBack);
    std::string unfixed;
    eachLine(original, [&](std::string_view line) {
      unfixed.append(line.starts_with("[V:G]") ? line : trimRight(line)).append("\r\n");
    });
    EXPECT_EQ(givenBack.text(), unfixed) << row[0];
  }
}

}  // namespace
}  // namespace kry
