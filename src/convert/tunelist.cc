#include "convert/tunelist.h"

#include <algorithm>

#include "base/text.h"

namespace kry {
namespace {

// Tune numbers have at most nine digits: enough for any collection, and no overflow.
constexpr std::size_t kMostDigits = 9;

// A tune number: digits alone, no more than nine of them.
std::optional<long> tuneNumberOf(std::string_view digits) {
  return digits.size() > kMostDigits ? std::nullopt : wholeNumber(digits);
}

// The number an X: field's text gives its tune: the text without blanks, as
// a tune number.
std::optional<long> fieldNumber(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  return tuneNumberOf(digits);
}

// Titles are matched in any case: the plain Latin letters are lowered.
std::string lowered(std::string_view text) {
  std::string low(text);
  for (char& c : low)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return low;
}

// The words of an item, lowered, blanks between them.
std::vector<std::string> wordsOf(std::string_view item) {
  std::vector<std::string> words;
  for (std::size_t at = 0; (at = item.find_first_not_of(' ', at)) != std::string_view::npos;) {
    std::size_t end = std::min(item.find(' ', at), item.size());
    words.push_back(lowered(item.substr(at, end - at)));
    at = end;
  }
  return words;
}

std::optional<TuneList> refuse(std::string* fault, std::string why) {
  if (fault != nullptr) *fault = std::move(why);
  return std::nullopt;
}

}  // namespace

std::optional<TuneList> TuneList::read(std::string_view text, std::string* fault) {
  TuneList list;
  if (trim(text).empty()) return refuse(fault, "it names no tune numbers and no title words");
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t end = std::min(text.find(',', at), text.size());
    std::string_view item = trim(text.substr(at, end - at));
    at = end + 1;
    if (item.empty()) return refuse(fault, "an item between its commas is empty");
    if (std::any_of(item.begin(), item.end(), isLetter)) {  // words of a title
      list.words_.push_back(wordsOf(item));
      continue;
    }
    std::size_t dash = item.find('-');
    std::optional<long> first = tuneNumberOf(item.substr(0, dash));
    std::optional<long> last = dash == std::string_view::npos ? first : tuneNumberOf(item.substr(dash + 1));
    // Built piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a temporary string.
    if (!first || !last) return refuse(fault, std::string("\"").append(item).append("\" is no tune number, range or title word"));
    if (*last < *first) return refuse(fault, std::string("the range ").append(item).append(" runs downwards"));
    list.ranges_.emplace_back(*first, *last);
  }
  return list;
}

bool TuneList::has(long number) const {
  for (const auto& [first, last] : ranges_)
    if (number >= first && number <= last) return true;
  return false;
}

bool TuneList::chooses(const TuneHeading& heading) const {
  std::optional<long> number = fieldNumber(heading.number);
  if (number && has(*number)) return true;
  for (const std::string& title : heading.titles) {
    std::string low = lowered(title);
    for (const std::vector<std::string>& item : words_)
      if (std::all_of(item.begin(), item.end(), [&](const std::string& word) { return low.find(word) != std::string::npos; }))
        return true;
  }
  return false;
}

std::optional<long> tuneNumber(std::string_view line) { return fieldNumber(line.substr(2)); }

std::optional<TuneHeading> Headings::line(std::string_view raw) {
  std::string_view line = trim(raw);
  if (line.empty()) return std::nullopt;
  bool header = isHeaderLine(line);
  if (header && fieldIs(line, 'X')) {
    std::optional<TuneHeading> before = std::move(open_);
    open_.emplace();
    open_->number = trim(line.substr(2));
    return before;
  }
  if (!open_) return std::nullopt;
  if (header && fieldIs(line, 'T')) open_->titles.emplace_back(trim(line.substr(2)));
  if (header && !fieldIs(line, 'K')) return std::nullopt;
  return finish();  // the key field, or music: the header has ended
}

std::optional<TuneHeading> Headings::finish() {
  std::optional<TuneHeading> whole = std::move(open_);
  open_.reset();
  return whole;
}

std::string listLine(const TuneHeading& heading) {
  std::string line = " " + heading.number;
  for (std::size_t k = 0; k < heading.titles.size(); ++k) line.append(k == 0 ? "  " : " / ").append(heading.titles[k]);
  return line;
}

}  // namespace kry
