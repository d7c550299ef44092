#include "typeset/tabline.h"

namespace typeset {

namespace {

bool isdigit09(char c) { return c >= '0' && c <= '9'; }
bool islenstart(char c) { return (c >= '1' && c <= '9') || c == '/'; }
bool islenchar(char c) { return isdigit09(c) || c == '/'; }

// The characters of a bar line or repeat sign starting at i, or 0.
std::size_t barlen(std::string_view s, std::size_t i) {
  std::size_t j = i;
  while (j < s.size()) {
    const char c = s[j];
    const bool next_bar = j + 1 < s.size() && s[j + 1] == '|';
    const bool prev_bar = j > i && s[j - 1] == '|';
    if (c == '|' || c == ':' || (c == '[' && next_bar) || (c == ']' && prev_bar)) {
      ++j;
    } else {
      break;
    }
  }
  return j - i;
}

// Reads a length at i ("2", "3/2", "/"), moving i past it.
std::optional<Length> readlen(std::string_view s, std::size_t& i) {
  if (i >= s.size() || !islenstart(s[i])) return std::nullopt;
  const std::size_t from = i;
  while (i < s.size() && islenchar(s[i])) ++i;
  return lread(s.substr(from, i - from));
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
  for (char c : courses) out.push_back(c == ',' ? -1 : *fretno(c));
  return out;
}

// The chord from "[" at i to its "]"; false when it has no "]".
bool readchord(std::string_view s, std::size_t& i, std::vector<TabItem>& items) {
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
    if (iscourse(c)) {
      courses += c;
      ++j;
    } else if (islenstart(c)) {
      // Only the first length counts; a digit may stand between the
      // courses when a rhythm flag was added after the first fret letter.
      auto len = readlen(s.substr(0, close), j);
      if (!item.length) {
        if (len) item.length = len;
        else junk += "?";
      }
    } else {
      junk += c;
      ++j;
    }
  }
  item.frets = frets(courses);
  i = close + 1;
  // A length after the closing bracket, blanks between allowed, is how
  // ABC lengthens a whole chord: "[CEG]2".
  std::size_t k = i;
  while (k < s.size() && s[k] == ' ') ++k;
  if (k < s.size() && islenstart(s[k])) {
    std::size_t at = k;
    if (auto times = readlen(s, at)) {
      item.times = times;
      i = at;
    }
  }
  items.push_back(item);
  if (!junk.empty()) unknown(items, junk);
  return true;
}

}  // namespace

std::vector<TabItem> scantab(std::string_view s) {
  std::vector<TabItem> items;
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    const char next = i + 1 < s.size() ? s[i + 1] : '\0';
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (c == '[' && isdigit09(next)) {
      // The number of a repeat ending belongs to the melody staff.
      ++i;
      // "[1,2" and "[1-3" list endings; a comma before a course is no list.
      while (i < s.size() &&
             (isdigit09(s[i]) || ((s[i] == ',' || s[i] == '-') && i + 1 < s.size() && isdigit09(s[i + 1])))) {
        ++i;
      }
    } else if (const std::size_t n = barlen(s, i); n > 0) {
      const std::string bar(s.substr(i, n));
      i += n;
      while (i < s.size() && isdigit09(s[i])) ++i;  // ending numbers again
      if (bar.find('|') == std::string::npos && bar != "::") {
        unknown(items, bar);
      } else {
        TabItem item;
        item.kind = Item::kBar;
        item.text = bar;
        items.push_back(item);
      }
    } else if (c == '[') {
      if (!readchord(s, i, items)) {
        unknown(items, "[");
        ++i;
      }
    } else if (iscourse(c)) {
      const std::size_t from = i;
      while (i < s.size() && iscourse(s[i])) ++i;
      TabItem item;
      item.kind = Item::kEvent;
      item.frets = frets(s.substr(from, i - from));
      item.length = readlen(s, i);
      items.push_back(item);
    } else if (c == 'z') {
      ++i;
      TabItem item;
      item.kind = Item::kRest;
      item.length = readlen(s, i);
      items.push_back(item);
    } else if (islenstart(c)) {
      // A length standing alone: a note that found no course.
      TabItem item;
      item.kind = Item::kEvent;
      const std::size_t from = i;
      item.length = readlen(s, i);
      if (item.length) items.push_back(item);
      else unknown(items, s.substr(from, i - from));
    } else if (c == '(' && isdigit09(next)) {
      const std::size_t from = i++;
      int colons = 0;
      while (i < s.size() && (isdigit09(s[i]) || (s[i] == ':' && colons < 2))) {
        if (s[i] == ':') ++colons;
        ++i;
      }
      TabItem item;
      item.kind = Item::kTuplet;
      item.text = std::string(s.substr(from, i - from));
      items.push_back(item);
    } else if (c == '(' || c == ')' || c == '-' || c == '.' || c == '`') {
      // Slurs, ties, staccato dots: the tab staff shows frets, not phrasing.
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
  return items;
}

}  // namespace typeset
