#include "base/abc.h"

#include <algorithm>
#include <charconv>
#include <numeric>

namespace kry {

bool Lines::next(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  if (cr_ < pos_) cr_ = text_.find('\r', pos_);  // looked for again only once passed
  std::size_t end = std::min(cr_, text_.size());
  end = std::min(text_.substr(0, end).find('\n', pos_), end);  // an LF before the CR
  line = text_.substr(pos_, end - pos_);
  pos_ = end + 1;
  if (end == cr_ && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;  // the LF of a CR LF
  return true;
}

std::optional<long> readNumber(std::string_view text, std::size_t& i) {
  if (i >= text.size() || !isDigit(text[i])) return std::nullopt;
  long number = 0;
  auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), number);
  i = static_cast<std::size_t>(end - text.data());
  while (i < text.size() && isDigit(text[i])) ++i;  // the rest of a number too large to hold
  if (error != std::errc{}) return std::nullopt;
  return number;
}

std::optional<long> wholeNumber(std::string_view digits) {
  std::size_t end = 0;
  std::optional<long> number = readNumber(digits, end);
  return end == digits.size() ? number : std::nullopt;
}

std::string_view lengthRun(std::string_view text, std::size_t& i) {
  const std::size_t from = i;
  while (i < text.size() && (isDigit(text[i]) || text[i] == '/')) ++i;
  return text.substr(from, i - from);
}

std::size_t readablePrefix(std::string_view run) {
  std::size_t i = 0;
  while (i < run.size() && isDigit(run[i])) ++i;
  if (i == run.size() || run[i] != '/') return i;
  ++i;
  if (i < run.size() && isDigit(run[i])) {
    while (i < run.size() && isDigit(run[i])) ++i;
  } else {
    while (i < run.size() && run[i] == '/') ++i;
  }
  return i;
}

std::optional<Length> readLength(std::string_view text) {
  // Lengths in a tune are small; a larger one is taken for no length.
  constexpr long kLargest = 100000;
  if (text.empty() || readablePrefix(text) != text.size()) return std::nullopt;
  std::size_t i = 0;
  Length length{1, 1};
  if (isDigit(text[0])) length.num = readNumber(text, i).value_or(0);
  if (i < text.size()) {  // the "/": a divisor, or one halving a slash
    ++i;
    if (i < text.size() && isDigit(text[i])) {
      length.den = readNumber(text, i).value_or(0);
    } else {
      length.den = 2;
      for (; i < text.size(); ++i) {
        length.den *= 2;
        if (length.den > 1024) return std::nullopt;  // at each slash: a long run would overflow
      }
    }
  }
  if (length.num <= 0 || length.den <= 0 || length.num > kLargest || length.den > kLargest) return std::nullopt;
  const long common = std::gcd(length.num, length.den);
  return Length{length.num / common, length.den / common};
}

std::size_t decorationEnd(std::string_view line, std::size_t open) {
  std::size_t close = line.find(line[open], open + 1);
  if (close == std::string_view::npos) return close;
  std::string_view inside = line.substr(open + 1, close - open - 1);
  return inside.find_first_of(" |") == std::string_view::npos ? close : std::string_view::npos;
}

std::size_t endingsEnd(std::string_view text, std::size_t i) {
  auto digitAt = [&](std::size_t k) { return k < text.size() && isDigit(text[k]); };
  while (digitAt(i) || (i < text.size() && (text[i] == ',' || text[i] == '-') && digitAt(i + 1))) ++i;
  return i;
}

}  // namespace kry
