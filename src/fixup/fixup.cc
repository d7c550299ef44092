#include "fixup/fixup.h"

#include <algorithm>

#include "base/abc.h"
#include "base/contract.h"
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
  k = lengthEnd(line, k);
  return k < line.size() && line[k] == ']' ? k : std::string_view::npos;
}

}  // namespace

void getq(std::string& length, std::string_view line) {
  for (std::size_t i = line.size(); i-- > 1;) {
    // A length starts right after a fret letter, a comma or an octave mark.
    if (!isLengthChar(line[i]) || !(isLetter(line[i - 1]) || isOctaveMark(line[i - 1]))) continue;
    length.assign(line.substr(i, lengthEnd(line, i) - i));
    return;
  }
}

std::string unfix(std::string_view fixed, std::size_t blanks, std::size_t at, std::size_t length) {
  std::string line(fixed);
  if (at != std::string::npos) line.erase(at, length);
  return line.append(blanks, ' ');
}

std::string_view FixUp::line(std::string_view in) {
  std::string_view line = trimRight(in);
  if (!line.starts_with("[V:G]")) return line;  // every other line goes through as it is
  std::size_t at = first_ ? std::string_view::npos : insertAt(line.substr(5));
  first_ = false;
  long tabLine = tabLines_++;
  if (at == std::string_view::npos) {  // most lines: nothing to insert, nothing to copy
    if (record_ != nullptr && line.size() < in.size()) record_->changed(tabLine, in.size() - line.size(), at, {});
    getq(length_, line);
    return line;
  }
  if (record_ != nullptr) record_->changed(tabLine, in.size() - line.size(), at + 5, length_);
  buf_.assign(line);
  buf_.insert(at + 5, length_);
  getq(length_, buf_);
  return buf_;
}

void FixUpSink::putLines(std::string_view lines) {
  while (!lines.empty()) {
    std::size_t tab = lines.starts_with(contract::kTabLine) ? 0 : lines.find("\n" + std::string(contract::kTabLine));
    if (tab == std::string_view::npos) return out_.putLines(lines);
    if (tab > 0) out_.putLines(lines.substr(0, ++tab));  // up to the tab-voice line, its LF included
    std::size_t end = lines.find("\r\n", tab);
    if (end == std::string_view::npos) end = lines.size();
    out_.put(fix_.line(lines.substr(tab, end - tab)));
    lines.remove_prefix(std::min(end + 2, lines.size()));
  }
}

std::size_t FixUp::insertAt(std::string_view line) const {
  // The first lower-case letter, the last character aside, is the first fret
  // letter; an inline field such as [M:none] holds none.
  std::size_t j = line.size();
  std::size_t letter = 0;
  while (letter + 1 < j && !isLower(line[letter])) {
    if (line[letter] == '[' && isFieldLine(line.substr(letter + 1)))
      letter = std::min(line.find(']', letter), j - 1);
    ++letter;
  }
  if (letter + 1 >= j) return std::string_view::npos;
  std::size_t close = chordClose(line, letter);
  if (close != std::string_view::npos)  // a chord keeps its letters together
    return isLengthChar(line[close - 1]) || line[close - 1] == '0' ? std::string_view::npos : close;
  // A length already there, a digit or a fraction such as d/2, stays as it is.
  return isLengthChar(line[letter + 1]) ? std::string_view::npos : letter + 1;
}

}  // namespace kry
