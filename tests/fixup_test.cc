// The fix-up pass: a rhythm digit on the first note of each tab-voice line
// after the first, and the digit each line leaves for the next.
#include "fixup/fixup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kry {
namespace {

using Lines = std::vector<std::string>;

Lines fix(const Lines& in) {
  FixUp fixUp;
  Lines out;
  for (const std::string& line : in) out.emplace_back(fixUp.line(line));
  return out;
}

struct FixCase {
  std::string name;
  Lines in;
  Lines out;
};

TEST(FixUp, PutsTheRhythmDigitWhereItBelongs) {
  const std::vector<FixCase> cases{
      {"the only tab line is copied", {"[V:G] ,a ,b"}, {"[V:G] ,a ,b"}},
      {"digit inserted and carried", {"[V:G] a2 b", "[V:G] c d2", "[V:G] e |"},
       {"[V:G] a2 b", "[V:G] c2 d2", "[V:G] e2 |"}},
      {"a first note with a digit stays, its last digit counts",
       {"[V:G] a3", "[V:G] b1 c4", "[V:G] d |"}, {"[V:G] a3", "[V:G] b1 c4", "[V:G] d4 |"}},
      {"no digit seen yet gives 1", {"[V:G] a", "[V:G] b c"}, {"[V:G] a", "[V:G] b1 c"}},
      {"a 0 after the letter takes the digit in front", {"[V:G] a2", "[V:G] b0"}, {"[V:G] a2", "[V:G] b20"}},
      {"a fraction is a length already", {"[V:G] a2", "[V:G] d/2 e"}, {"[V:G] a2", "[V:G] d/2 e"}},
      {"a chord first without a length", {"[V:G] a2", "[V:G] [,aaa] b"}, {"[V:G] a2", "[V:G] [,aaa2] b"}},
      {"a chord first with its length", {"[V:G] a2", "[V:G] [,aaa3] b"}, {"[V:G] a2", "[V:G] [,aaa3] b"}},
      {"a chord first with a fraction", {"[V:G] a2", "[V:G] [,aaa/2] b"}, {"[V:G] a2", "[V:G] [,aaa/2] b"}},
      {"[| is no chord", {"[V:G] a2", "[V:G] [|,,a b"}, {"[V:G] a2", "[V:G] [|,,a2 b"}},
      {"[1 is no chord", {"[V:G] a2", "[V:G] [1 ,a b"}, {"[V:G] a2", "[V:G] [1 ,a2 b"}},
      {"a rest first gets the digit", {"[V:G] a2", "[V:G] z c"}, {"[V:G] a2", "[V:G] z2 c"}},
      {"the last letter alone is not looked at", {"[V:G] a2", "[V:G] |: b"}, {"[V:G] a2", "[V:G] |: b"}},
      {"lines that only look like tab lines",
       {"[V:G] a2", " [V:G] b |", "[v:g] b |", "[V:M] b c", "[V:G] c |"},
       {"[V:G] a2", " [V:G] b |", "[v:g] b |", "[V:M] b c", "[V:G] c2 |"}},
      {"trailing blanks go, blank lines become empty", {"T:x   ", "   ", "[V:G] a  "}, {"T:x", "", "[V:G] a"}},
      {"the first flag is for the whole file", {"X:1", "[V:G] a3", "X:2", "[V:G] b|"},
       {"X:1", "[V:G] a3", "X:2", "[V:G] b3|"}},
  };
  for (const FixCase& c : cases) EXPECT_EQ(fix(c.in), c.out) << c.name;
}

TEST(FixUp, LongLinesAreKeptWhole) {
  std::string tail(1000, '|');
  EXPECT_EQ(fix({"[V:G] a2", "[V:G] b " + tail}), (Lines{"[V:G] a2", "[V:G] b2 " + tail}));
}

TEST(Getq, TakesTheLastDigitAfterANoteLetterOrOctaveMark) {
  const std::vector<std::tuple<std::string, char, char>> rows{
      {"[V:G] a2 b3", '1', '3'}, {"[V:G] a12", '1', '1'}, {"[V:G] a/2", '4', '4'},
      {"[V:G] [,aa]2", '4', '4'}, {"[V:G] ,,a5", '1', '5'}, {"[V:G] a'7", '1', '7'},
      {"[V:G] |2", '6', '6'}, {"", '6', '6'}, {"2", '6', '6'}, {"a0", '6', '6'},
  };
  for (const auto& [line, before, after] : rows) {
    char digit = before;
    getq(digit, line);
    EXPECT_EQ(digit, after) << line;
  }
}

}  // namespace
}  // namespace kry
