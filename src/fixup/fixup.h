// The fix-up pass's rule for rhythm flags: the first note of every tab-voice
// line after the first gets a length digit when it has none, so the typesetter
// prints a rhythm flag there. The digit is the last one seen on a note before.
#pragma once

#include <string>
#include <string_view>

namespace kry {

// getq: the last digit 1..9 in `line` that follows a note letter or an octave
// mark becomes the rhythm digit; with none, the digit stays.
void getq(char& digit, std::string_view line);

class FixUp {
 public:
  // The line as the final tune holds it: trailing blanks gone and, on a
  // tab-voice line after the first, the rhythm digit on its first note.
  std::string_view line(std::string_view in);

 private:
  void insertDigit();

  char digit_ = '1';
  bool first_ = true;
  std::string buf_;
};

}  // namespace kry
