#include "typeset/tabline.h"

#include "base/reader.h"

namespace kry::typeset {

namespace {

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

// An event from `i`: a run of course characters, one a course, then its
// length. Moves i past it.
void readEvent(std::string_view s, std::size_t& i, std::vector<TabItem>& items) {
  const std::size_t from = i;
  while (i < s.size() && isCourse(s[i])) ++i;
  TabItem item;
  item.kind = Item::kEvent;
  item.frets = frets(s.substr(from, i - from));
  item.length = readLengthAt(s, i, item.badLength);
  items.push_back(item);
}

// A slur opened, a slide marked, before the next event.
struct Marks {
  bool slur = false, slide = false;
};

// An item of the tab line that stands as it is written: a bar line, a
// tuplet, a broken rhythm, an inline field.
void put(std::vector<TabItem>& items, Item kind, std::string_view text) {
  items.push_back({});
  items.back().kind = kind;
  items.back().text = std::string(text);
}

// A slur, a tie or a decoration: what it marks on the events around it;
// false for any other item.
bool mark(const kry::Item& item, std::vector<TabItem>& items, Marks& marks) {
  TabItem* last = !items.empty() && items.back().kind == Item::kEvent ? &items.back() : nullptr;
  switch (item.kind) {
    case ItemKind::kSlurOpen:  // over notes on one course, a hammer-on or pull-off
      marks.slur = true;
      return true;
    case ItemKind::kSlurClose:
      if (last != nullptr) last->slurEnd = true;
      return true;
    case ItemKind::kTie:  // after a note or a whole chord, every course of it is held
      if (last != nullptr) last->tied.assign(last->frets.size(), true);
      return true;
    case ItemKind::kDecoration:
      // A staccato dot: the tab staff shows frets, not phrasing; a slide is
      // drawn into the fret of the next event; other marks are no frets.
      if (item.text == "!slide!") marks.slide = true;
      else if (item.text != ".") unknown(items, item.text);
      return true;
    default:
      return false;
  }
}

// What the reader takes for no ABC item of its own, a character at a time:
// the courses of an event (a comma or a fret letter), a length with no event
// before it (kry writes none, so it is no time), or anything else.
void takeCharacters(std::string_view s, std::size_t i, MusicLine& line, std::vector<TabItem>& items) {
  if (isCourse(s[i])) {
    readEvent(s, i, items);
    return line.resume(i);
  }
  if (isLengthChar(s[i])) {
    unknown(items, std::string(lengthRun(s, i)) + " (a length with no event before it)");
    return line.resume(i);
  }
  unknown(items, s.substr(i, 1));
  line.resume(i + 1);
}

// One item of the reader's, as the tab staff takes it; `items` reads on
// from where a piece read here ends.
void take(const kry::Item& item, MusicLine& line, std::vector<TabItem>& items, Marks& marks) {
  const std::string_view s = line.line();
  std::size_t i = item.column;
  if (mark(item, items, marks)) return;
  switch (item.kind) {
    case ItemKind::kBlank:
    case ItemKind::kEnding:  // the numbers of an ending are the melody staff's
    case ItemKind::kIgnored:
      return;
    case ItemKind::kVoice:
      return unknown(items, item.text);
    case ItemKind::kField:  // the unit length and the meter keep both voices in time; any other is the melody's
      if (item.text[1] == 'L' || item.text[1] == 'M') return put(items, Item::kField, item.text);
      return unknown(items, item.text);
    case ItemKind::kBar:
      if (item.text.find('|') == std::string_view::npos && item.text != "::") return unknown(items, item.text);
      return put(items, Item::kBar, item.text);
    case ItemKind::kChord:
      if (item.text[0] == '[' && readChord(s, i, items)) return line.resume(i);
      return unknown(items, item.text);
    case ItemKind::kIncomplete:  // a "[" with no partner; what follows it is read on
      unknown(items, "[");
      return line.resume(i + 1);
    case ItemKind::kRest:
      if (item.text[0] != 'z' && item.text[0] != 'x') break;
      items.push_back({});
      items.back().kind = Item::kRest;
      items.back().hidden = item.text[0] == 'x';
      ++i;
      items.back().length = readLengthAt(s, i, items.back().badLength);
      return line.resume(i);
    case ItemKind::kTuplet:
      return put(items, Item::kTuplet, item.text);
    case ItemKind::kBroken: {  // up to three of one sign
      std::size_t end = i + 1;
      while (end < s.size() && s[end] == s[i] && end - i < 3) ++end;
      put(items, Item::kBroken, s.substr(i, end - i));
      return line.resume(end);
    }
    case ItemKind::kContinuation:
      if (s.find_first_not_of(" \t\r\n", i + 1) != std::string_view::npos) return unknown(items, item.text);
      items.push_back({});
      items.back().kind = Item::kContinue;
      return;
    default:
      break;
  }
  takeCharacters(s, i, line, items);
}

}  // namespace

std::vector<TabItem> scanTab(std::string_view s) {
  std::vector<TabItem> items;
  const Symbols none;
  MusicLine line(s, none);
  Marks marks;
  for (kry::Item item; line.next(item);) {
    const std::size_t before = items.size();
    take(item, line, items, marks);
    // A slur opened or a slide marked belongs to the next event.
    if (items.size() > before && items[before].kind == Item::kEvent) {
      items[before].slurStart = marks.slur;
      items[before].slide = marks.slide;
      marks = {};
    }
  }
  return items;
}

}  // namespace kry::typeset
