#include "fixup/fixup.h"

#include <algorithm>

#include "base/text.h"

namespace kry {
namespace {

bool isLower(char c) { return c >= 'a' && c <= 'z'; }

// Where a chord's length goes when the first fret letter at `letter` stands in a
// chord as the scanner writes them ("[,aaa]", "[,aaa2]"): the position of its
// "]", or npos.
std::size_t chordClose(std::string_view line, std::size_t letter) {
  std::size_t open = line.rfind('[', letter);
  if (open == std::string_view::npos) return std::string_view::npos;
  for (std::size_t k = open + 1; k < letter; ++k)
    if (line[k] != ',') return std::string_view::npos;
  std::size_t k = letter;
  while (k < line.size() && (line[k] == ',' || isLower(line[k]))) ++k;
  while (k < line.size() && isLengthChar(line[k])) ++k;
  return k < line.size() && line[k] == ']' ? k : std::string_view::npos;
}

}  // namespace

void getq(std::string& length, std::string_view line) {
  for (std::size_t i = line.size(); i-- > 1;) {
    char before = line[i - 1];
    if (isLengthChar(line[i]) && (isLetter(before) || before == ',' || before == '\'')) {
      std::size_t end = i;
      while (end < line.size() && isLengthChar(line[end])) ++end;
      length.assign(line.substr(i, end - i));
      return;
    }
  }
}

std::string_view FixUp::line(std::string_view in) {
  std::string_view line = trimRight(in);
  if (line.substr(0, 5) != "[V:G]") return line;  // every other line goes through as it is
  buf_.assign(line);
  if (first_)
    first_ = false;
  else
    insertLength();
  getq(length_, buf_);
  return buf_;
}

void FixUp::insertLength() {
  // The first lower-case letter, the last character aside, is the first fret
  // letter; an inline field such as [M:none] holds none.
  std::size_t j = buf_.size();
  std::size_t letter = 0;
  while (letter + 1 < j && !isLower(buf_[letter])) {
    if (buf_[letter] == '[' && isLetter(buf_[letter + 1]) && letter + 2 < j && buf_[letter + 2] == ':')
      letter = std::min(buf_.find(']', letter), j - 1);
    ++letter;
  }
  if (letter + 1 >= j) return;
  std::size_t close = chordClose(buf_, letter);
  if (close != std::string_view::npos) {  // a chord keeps its letters together
    if (!isLengthChar(buf_[close - 1])) buf_.insert(close, length_);
    return;
  }
  // A length already there, a digit or a fraction such as d/2, stays as it is.
  if (isLengthChar(buf_[letter + 1])) return;
  buf_.insert(letter + 1, length_);
}

}  // namespace kry
