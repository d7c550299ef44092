#include "typeset/tabline.h"

namespace kry::typeset {

namespace {

// The characters of a bar line or repeat sign starting at i, or 0.
std::size_t barLength(std::string_view s, std::size_t i) {
  std::size_t j = i;
  while (j < s.size()) {
    const char c = s[j];
    const bool nextBar = j + 1 < s.size() && s[j + 1] == '|';
    const bool prevBar = j > i && s[j - 1] == '|';
    if (c == '|' || c == ':' || (c == '[' && nextBar) || (c == ']' && prevBar)) {
      ++j;
    } else {
      break;
    }
  }
  return j - i;
}

// Reads a length at i ("2", "3/2", "/"), moving i past it. Of one that
// can't be read whole, what abcm2ps reads of it counts, as on the melody
// staff, and `bad` has it as written.
std::optional<Length> readLengthAt(std::string_view s, std::size_t& i, std::string& bad) {
  if (i >= s.size() || !isLengthChar(s[i])) return std::nullopt;
  const std::string_view run = lengthRun(s, i);
  const std::size_t readable = readablePrefix(run);
  const auto len = readLength(run.substr(0, readable));
  if (!len || readable < run.size()) bad = run;
  return len;
}

void unknown(std::vector<TabItem>& items, std::string_view text) {
  if (!items.empty() && items.back().kind == Item::kUnknown) {
    items.back().text += text;
    return;
  }
  TabItem item;
  item.kind = Item::kUnknown;
  item.text = std::string(text);
  items.push_back(item);
}

// A run of course characters: the fret per course, -1 where not played.
std::vector<int> frets(std::string_view courses) {
  std::vector<int> out;
  for (char c : courses) out.push_back(c == ',' ? -1 : *fretOf(c));
  return out;
}

// The chord from "[" at i to its "]"; false when it has no "]".
bool readChord(std::string_view s, std::size_t& i, std::vector<TabItem>& items) {
  const std::size_t close = s.find(']', i + 1);
  if (close == std::string_view::npos) return false;
  TabItem item;
  item.kind = Item::kEvent;
  item.chord = true;
  std::string courses;
  std::string junk;
  std::size_t j = i + 1;
  while (j < close) {
    const char c = s[j];
    if (isCourse(c)) {
      courses += c;
      ++j;
    } else if (c == '-' && !courses.empty()) {
      // A tie on one note of the chord: "[a-b-]".
      item.tied.resize(courses.size());
      item.tied.back() = true;
      ++j;
    } else if (isLengthChar(c)) {
      // Only the first length counts; a digit may stand between the
      // courses when a rhythm flag was added after the first fret letter.
      std::string bad;
      auto len = readLengthAt(s.substr(0, close), j, bad);
      if (!item.length && item.badLength.empty()) {
        item.length = len;
        item.badLength = bad;
      }
    } else {
      junk += c;
      ++j;
    }
  }
  item.frets = frets(courses);
  i = close + 1;
  // A length right after the closing bracket is how ABC lengthens a whole
  // chord: "[C2E2]2". kry writes the blank it puts after every chord before
  // it ("[,,,cb2] 2"); after two blanks the melody had one of its own, and
  // abcm2ps reads no length there.
  std::size_t k = i;
  if (k < s.size() && s[k] == ' ') ++k;
  if (k < s.size() && isLengthChar(s[k])) {
    std::size_t at = k;
    std::string bad;
    if (auto times = readLengthAt(s, at, bad)) {
      item.times = times;
      i = at;
    }
  }
  items.push_back(item);
  if (!junk.empty()) unknown(items, junk);
  return true;
}

}  // namespace

std::vector<TabItem> scanTab(std::string_view s) {
  std::vector<TabItem> items;
  std::size_t i = 0;
  bool slur = false;      // a slur opened before the next event
  std::size_t seen = 0;   // the items before the last step
  auto opens = [&] {
    if (slur && items.size() > seen && items[seen].kind == Item::kEvent) items[seen].slurStart = true, slur = false;
    seen = items.size();
  };
  while (i < s.size()) {
    opens();
    const char c = s[i];
    const char next = i + 1 < s.size() ? s[i + 1] : '\0';
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (c == '[' && isDigit(next)) {
      i = endingsEnd(s, i + 1);
    } else if (c == '[' && isFieldLine(s.substr(i + 1))) {  // an inline field: "[L:", "[M:", "[K:"
      // An inline field: the unit length and the meter keep both voices in
      // time; any other is the melody's.
      const std::size_t close = s.find(']', i);
      const std::string_view field = s.substr(i, close == std::string_view::npos ? s.npos : close + 1 - i);
      i += field.size();
      if (close != std::string_view::npos && (next == 'L' || next == 'M')) {
        TabItem item;
        item.kind = Item::kField;
        item.text = std::string(field);
        items.push_back(item);
      } else {
        unknown(items, field);
      }
    } else if (const std::size_t n = barLength(s, i); n > 0) {
      const std::string bar(s.substr(i, n));
      i += n;
      if (bar.back() == '|') i = endingsEnd(s, i);
      if (bar.find('|') == std::string::npos && bar != "::") {
        unknown(items, bar);
      } else {
        TabItem item;
        item.kind = Item::kBar;
        item.text = bar;
        items.push_back(item);
      }
    } else if (c == '[') {
      if (!readChord(s, i, items)) {
        unknown(items, "[");
        ++i;
      }
    } else if (isCourse(c)) {
      const std::size_t from = i;
      while (i < s.size() && isCourse(s[i])) ++i;
      TabItem item;
      item.kind = Item::kEvent;
      item.frets = frets(s.substr(from, i - from));
      item.length = readLengthAt(s, i, item.badLength);
      items.push_back(item);
    } else if (c == 'z' || c == 'x') {
      ++i;
      TabItem item;
      item.kind = Item::kRest;
      item.hidden = c == 'x';
      item.length = readLengthAt(s, i, item.badLength);
      items.push_back(item);
    } else if (isLengthChar(c)) {
      // A length with no event before it: kry writes none, so it is no time.
      unknown(items, std::string(lengthRun(s, i)) + " (a length with no event before it)");
    } else if (c == '(' && isDigit(next)) {
      const std::size_t from = i++;
      int colons = 0;
      while (i < s.size() && (isDigit(s[i]) || (s[i] == ':' && colons < 2))) {
        if (s[i] == ':') ++colons;
        ++i;
      }
      TabItem item;
      item.kind = Item::kTuplet;
      item.text = std::string(s.substr(from, i - from));
      items.push_back(item);
    } else if (c == '-' && !items.empty() && items.back().kind == Item::kEvent) {
      // A tie after a note or a whole chord: every course of it is held.
      items.back().tied.assign(items.back().frets.size(), true);
      ++i;
    } else if (c == '(') {
      slur = true;  // a slur: over notes on one course a hammer-on or pull-off
      ++i;
    } else if (c == ')') {
      if (!items.empty() && items.back().kind == Item::kEvent) items.back().slurEnd = true;
      ++i;
    } else if (c == '-' || c == '.' || c == '`') {
      // Ties, staccato dots: the tab staff shows frets, not phrasing.
      ++i;
    } else if (c == '>' || c == '<') {
      const std::size_t from = i;
      while (i < s.size() && s[i] == c && i - from < 3) ++i;
      TabItem item;
      item.kind = Item::kBroken;
      item.text = std::string(s.substr(from, i - from));
      items.push_back(item);
    } else if (c == '\\' && s.find_first_not_of(" \t\r\n", i + 1) == std::string_view::npos) {
      TabItem item;
      item.kind = Item::kContinue;
      items.push_back(item);
      ++i;
    } else if (c == '!') {
      // A decoration such as !trill!: its letters are no frets.
      const std::size_t close = s.find('!', i + 1);
      const std::size_t end = close == std::string_view::npos ? i + 1 : close + 1;
      unknown(items, s.substr(i, end - i));
      i = end;
    } else {
      unknown(items, s.substr(i, 1));
      ++i;
    }
  }
  opens();
  return items;
}

}  // namespace kry::typeset
