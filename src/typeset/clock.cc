#include "typeset/clock.h"

#include "base/reader.h"
#include "base/text.h"

namespace kry::typeset {

namespace {

// A length as written after a note, rest or chord: 1 when none is; of one
// that can't be read whole, what abcm2ps reads of it.
Length length(std::string_view run) {
  return readLength(run.substr(0, readablePrefix(run))).value_or(Length{1, 1});
}

// A chord, "[CEG]2" or "+CEG+": the length of its first note times the
// length after it. Marks between its notes take no time.
Length chord(const Item& item, const Symbols& symbols) {
  ChordNotes notes(item.inside(), symbols);
  std::optional<Length> first;
  Item n;
  for (bool tied = false; !first && notes.next(n, tied);)
    if (isNoteLetter(n.text[n.letter])) first = length(n.lengthText());
  return product(first.value_or(Length{1, 1}), length(item.lengthText()));
}

}  // namespace

std::optional<Broken> broken(std::string_view signs) {
  if (signs == ">") return Broken{{3, 2}, {1, 2}};
  if (signs == ">>") return Broken{{7, 4}, {1, 4}};
  if (signs == ">>>") return Broken{{15, 8}, {1, 8}};
  if (signs == "<") return Broken{{1, 2}, {3, 2}};
  if (signs == "<<") return Broken{{1, 4}, {7, 4}};
  if (signs == "<<<") return Broken{{1, 8}, {15, 8}};
  return std::nullopt;
}

void tick(Clock& c, Length len) {
  Length t = product(len, c.unit);
  if (c.next) t = product(t, *c.next);
  c.next.reset();
  if (c.left > 0) {
    t = product(t, c.squeeze);
    --c.left;
  }
  c.time = sum(c.time, t);
  c.last = t;
}

bool broke(Clock& c, std::string_view signs) {
  const auto b = broken(signs);
  if (!b || c.last.num == 0 || c.next) return false;
  c.time = sum(c.time, difference(product(c.last, b->before), c.last));
  c.next = b->after;
  c.last = {0, 1};
  return true;
}

void tuplet(Clock& c, std::string_view text) {
  // "(p:q:r": p notes in the time of q, for the next r notes.
  std::size_t i = 1;
  const long p = readNumber(text, i).value_or(3);
  long q = 0, r = p;
  if (i < text.size() && text[i] == ':') q = readNumber(text, ++i).value_or(0);
  if (i < text.size() && text[i] == ':') r = readNumber(text, ++i).value_or(p);
  if (q == 0) q = p == 3 || p == 6 ? 2 : p == 2 || p == 4 || p == 8 ? 3 : c.compound ? 3 : 2;
  if (p <= 0 || r <= 0) return;
  c.squeeze = reduced({q, p});
  c.left = r;
}

void meter(Clock& c, std::string_view value) {
  value = fieldValue(value);
  long num = 0, den = 0;
  if (value == "C") {
    num = den = 4;
  } else if (value == "C|") {
    num = den = 2;
  } else {
    std::size_t i = 0;
    num = readNumber(value, i).value_or(0);
    if (i < value.size() && value[i] == '/') den = readNumber(value, ++i).value_or(0);
    if (i != value.size()) return;  // none, or a meter we don't count by
  }
  if (num <= 0 || den <= 0) return;
  c.compound = num % 3 == 0 && num > 3;
  c.bar = reduced({num, den});
}

std::string_view fieldValue(std::string_view value) {
  return trim(value.substr(0, value.find('%')), kBlanksAndTabs);
}

void melodyTime(std::string_view s, Clock& c, const Symbols& symbols) {
  MusicLine items(s, symbols);
  Item item;
  // An overlay from the line before goes on to its bar line.
  bool more = c.overlay ? (c.overlay = !items.passOverlay(item), !c.overlay) : items.next(item);
  for (; more; more = items.next(item)) {
    switch (item.kind) {
      case ItemKind::kNote:  // a letter that is no note takes no time
        if (isNoteLetter(item.text[item.letter])) tick(c, length(item.lengthText()));
        break;
      case ItemKind::kRest:
        if (item.text[0] == 'z' || item.text[0] == 'x') {
          tick(c, length(item.lengthText()));
        } else {  // a rest of whole bars, as many as its number
          std::size_t at = 1;
          c.time = sum(c.time, product(c.bar, {readNumber(item.text, at).value_or(1), 1}));
        }
        break;
      case ItemKind::kChord:
        tick(c, chord(item, symbols));
        break;
      case ItemKind::kField: {
        const std::string_view value = item.text.substr(3, item.text.size() - 4);
        if (item.text[1] == 'L') c.unit = readLength(fieldValue(value)).value_or(c.unit);
        if (item.text[1] == 'M') meter(c, value);
        break;
      }
      case ItemKind::kTuplet:
        tuplet(c, item.text);
        break;
      case ItemKind::kBroken:
        broke(c, item.text);
        break;
      case ItemKind::kOverlay:  // the second voice of the bar takes none of the tune's time
        c.overlay = !items.passOverlay(item);
        if (c.overlay) return;
        break;
      case ItemKind::kComment:
      case ItemKind::kIncomplete:  // a "[" with no partner: abcm2ps reads no more of the line
        return;
      default:  // bar lines, decorations, chord symbols, grace notes, spacers: no time
        break;
    }
  }
}

}  // namespace kry::typeset
