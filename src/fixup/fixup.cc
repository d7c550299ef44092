#include "fixup/fixup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "base/abc.h"
#include "base/text.h"

namespace kry {
namespace {

bool isLower(char c) { return c >= 'a' && c <= 'z'; }

// Which characters are length characters, and which may stand right before a
// note's length: a fret letter, a comma of a course not played, an octave mark.
using CharSet = std::array<std::uint8_t, 256>;  // 1 for a character in the set, else 0
constexpr CharSet setWhere(bool (*in)(char)) {
  CharSet set{};
  for (int c = 0; c < 256; ++c) set[static_cast<std::size_t>(c)] = in(static_cast<char>(c)) ? 1 : 0;
  return set;
}
constexpr CharSet kLength = setWhere(isLengthChar);
constexpr CharSet kBeforeLength = setWhere([](char c) { return isLetter(c) || isOctaveMark(c); });
std::uint8_t in(const CharSet& set, char c) { return set[static_cast<unsigned char>(c)]; }

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
    // Both tests made each time and joined with "&": one branch a character,
    // where a length character alone would often guess wrong.
    if ((in(kLength, line[i]) & in(kBeforeLength, line[i - 1])) == 0) continue;
    std::size_t end = i;
    while (end < line.size() && in(kLength, line[end])) ++end;
    length.assign(line.substr(i, end - i));
    return;
  }
}

std::string_view FixUp::line(std::string_view in) {
  std::string_view line = trimRight(in);
  if (line.substr(0, 5) != "[V:G]") return line;  // every other line goes through as it is
  buf_.assign(line);
  buf_.resize(line.size() + spare());
  buf_.resize(fixTab(buf_.data(), line.size()));
  return buf_;
}

std::size_t FixUp::fix(char* text, std::size_t size) {
  std::string_view line = trimRight(std::string_view(text, size));
  return line.substr(0, 5) != "[V:G]" ? line.size() : fixTab(text, line.size());
}

std::size_t FixUp::fixTab(char* text, std::size_t size) {
  std::string_view line(text, size);
  std::size_t at = first_ ? std::string_view::npos : insertAt(line.substr(5));
  if (at != std::string_view::npos) at += 5;
  first_ = false;
  std::size_t fixed = line.size();
  if (at != std::string_view::npos && length_.empty()) {  // the length in force lies before the chunk
    unsure_ = true;
  } else if (at != std::string_view::npos) {
    std::memmove(text + at + length_.size(), text + at, line.size() - at);
    std::memcpy(text + at, length_.data(), length_.size());
    fixed += length_.size();
  }
  getq(length_, std::string_view(text, fixed));
  return fixed;
}

void FixUp::startAtTune() {
  length_.clear();
  first_ = false;
  unsure_ = false;
}

void FixUp::follow(const FixUp& chunk) {
  if (!chunk.length_.empty()) length_ = chunk.length_;
  first_ = first_ && chunk.first_;
}

std::size_t FixUp::insertAt(std::string_view line) const {
  // The first lower-case letter, the last character aside, is the first fret
  // letter; an inline field such as [M:none] holds none.
  std::size_t j = line.size();
  std::size_t letter = 0;
  while (letter + 1 < j && !isLower(line[letter])) {
    if (line[letter] == '[' && isLetter(line[letter + 1]) && letter + 2 < j && line[letter + 2] == ':')
      letter = std::min(line.find(']', letter), j - 1);
    ++letter;
  }
  if (letter + 1 >= j) return std::string_view::npos;
  std::size_t close = chordClose(line, letter);
  if (close != std::string_view::npos)  // a chord keeps its letters together
    return isLengthChar(line[close - 1]) ? std::string_view::npos : close;
  // A length already there, a digit or a fraction such as d/2, stays as it is.
  return isLengthChar(line[letter + 1]) ? std::string_view::npos : letter + 1;
}

}  // namespace kry
