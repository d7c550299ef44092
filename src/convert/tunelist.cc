#include "convert/tunelist.h"

#include <string>

namespace kry {
namespace {

// Tune numbers have at most nine digits: enough for any collection, and no overflow.
constexpr std::size_t kMostDigits = 9;

std::optional<long> wholeNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > kMostDigits) return std::nullopt;
  long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

std::optional<TuneList> TuneList::read(std::string_view text) {
  TuneList list;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t end = std::min(text.find(',', at), text.size());
    std::string_view item = text.substr(at, end - at);
    std::size_t dash = item.find('-');
    std::optional<long> first = wholeNumber(item.substr(0, dash));
    std::optional<long> last = dash == std::string_view::npos ? first : wholeNumber(item.substr(dash + 1));
    if (!first || !last || *last < *first) return std::nullopt;
    list.ranges_.emplace_back(*first, *last);
    at = end + 1;
  }
  return list;
}

bool TuneList::has(long number) const {
  for (const auto& [first, last] : ranges_)
    if (number >= first && number <= last) return true;
  return false;
}

std::optional<long> tuneNumber(std::string_view line) {
  std::string digits;
  for (char c : line.substr(2))
    if (c != ' ') digits += c;
  return wholeNumber(digits);
}

}  // namespace kry
