// Fuzz target: the fix-up pass over arbitrary text, line by line as it reads
// the converted tune, and `getq` on every line. Invariants: a line comes out
// as it went in without its trailing blanks, except that a tab-voice line after
// the first may gain one rhythm digit, the one `getq` left from the lines before.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fixup/fixup.h"
#include "fuzz_support.h"
#include "run/text.h"

namespace {

using kry_fuzz::check;

bool isRhythmDigit(char c) { return c >= '1' && c <= '9'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }

// getq written the other way round: the last digit 1..9 that follows a
// letter, "," or "'"; `digit` when there is none.
char lastRhythmDigit(std::string_view line, char digit) {
  for (std::size_t i = 1; i < line.size(); ++i) {
    char before = line[i - 1];
    if (isRhythmDigit(line[i]) && (kry::isLetter(before) || before == ',' || before == '\''))
      digit = line[i];
  }
  return digit;
}

// Where `out` holds one character more than `in` and is otherwise the same:
// the position of that character, or npos.
std::size_t insertedAt(std::string_view in, std::string_view out) {
  if (out.size() != in.size() + 1) return std::string_view::npos;
  std::size_t k = 0;
  while (k < in.size() && in[k] == out[k]) ++k;
  return out.substr(k + 1) == in.substr(k) ? k : std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines = kry_fuzz::splitLines(text);

  for (const std::string& line : lines) {
    char digit = '1';
    kry::getq(digit, line);
    check(digit == lastRhythmDigit(line, '1'), "getq found another digit", line);
  }

  kry::FixUp fixUp;
  char digit = '1';
  bool firstTab = true;
  for (const std::string& line : lines) {
    std::string_view in = kry::trimRight(line);
    std::string out(fixUp.line(line));
    bool tabLine = in.substr(0, 5) == "[V:G]";
    if (!tabLine || firstTab || out == in) {
      check(out == in, "a line changed other than by a rhythm digit", line);
    } else {
      std::size_t k = insertedAt(in, out);
      check(k != std::string_view::npos, "a tab-voice line changed other than by one character", out);
      check(out[k] == digit, "the inserted digit is not the one carried from before", out);
      bool afterFret = k > 0 && isLower(out[k - 1]);
      bool closesChord = k + 1 < out.size() && out[k + 1] == ']';
      check(afterFret || closesChord, "the rhythm digit is neither after a fret letter nor closing a chord", out);
    }
    if (tabLine) {
      firstTab = false;
      digit = lastRhythmDigit(out, digit);
    }
    check(isRhythmDigit(digit), "the rhythm digit left 1..9");
  }
  return 0;
}
