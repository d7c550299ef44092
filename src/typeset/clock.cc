#include "typeset/clock.h"

#include "base/text.h"

namespace kry::typeset {

namespace {

// The length written at i, moving i past it: 1 when none is written; of
// one that can't be read whole, what abcm2ps reads of it.
Length length(std::string_view s, std::size_t& i) {
  const std::string_view run = lengthRun(s, i);
  return readLength(run.substr(0, readablePrefix(run))).value_or(Length{1, 1});
}

// A note from its accidentals to its length, at i; its length, or nothing
// when there is no note letter there.
std::optional<Length> note(std::string_view s, std::size_t& i) {
  while (i < s.size() && isAccidental(s[i])) ++i;
  if (i >= s.size() || !isNoteLetter(s[i])) return std::nullopt;
  ++i;
  while (i < s.size() && isOctaveMark(s[i])) ++i;
  return length(s, i);
}

// A chord from "[" (or the "+" of an ABC 1.6 chord) at i to its partner at
// `close`: the length of its first note times the length after it. Marks
// between its notes take no time. Moves i past it.
Length chord(std::string_view s, std::size_t& i, std::size_t close, const Symbols& symbols) {
  const std::string_view inside = s.substr(i + 1, close - i - 1);
  std::optional<Length> first;
  for (std::size_t j = chordMarkEnd(inside, 0, symbols); j < inside.size(); j = chordMarkEnd(inside, j, symbols)) {
    const std::size_t at = j;
    if (auto l = note(inside, j)) {
      if (!first) first = l;
    } else {
      j = at + 1;
    }
  }
  i = close + 1;
  return product(first.value_or(Length{1, 1}), length(s, i));
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
  std::size_t i = 0;
  if (c.overlay) i = overlayEnd(s, 0);  // an overlay from the line before goes on to its bar line
  c.overlay = c.overlay && !endsOverlay(s, i);
  while (i < s.size()) {
    const char ch = s[i];
    const char next = i + 1 < s.size() ? s[i + 1] : '\0';
    if (ch == '%') {
      return;  // a comment to the end of the line
    } else if (ch == '"' || ch == '{') {
      // A chord symbol or annotation, grace notes: no time.
      const std::size_t close = s.find(ch == '"' ? '"' : '}', i + 1);
      if (close == std::string_view::npos) return;
      i = close + 1;
    } else if (ch == '!' || ch == '+') {
      // A decoration, a lone "!", or a chord in "+".
      const Mark mark = markAt(s, i, symbols);
      if (mark.kind == MarkKind::kChord)
        tick(c, chord(s, i, mark.close, symbols));
      else
        i = mark.close + 1;
    } else if (ch == '&') {
      // A voice overlay: the second voice of the bar takes none of the tune's time.
      i = overlayEnd(s, i);
      c.overlay = !endsOverlay(s, i);
    } else if (ch == '[' && isFieldLine(s.substr(i + 1))) {
      const std::size_t close = s.find(']', i);
      if (close == std::string_view::npos) return;
      const auto value = s.substr(i + 3, close - i - 3);
      if (next == 'L') c.unit = readLength(fieldValue(value)).value_or(c.unit);
      if (next == 'M') meter(c, value);
      i = close + 1;
    } else if (ch == '[' && isDigit(next)) {
      i = endingsEnd(s, i + 1);
    } else if (ch == '[' && next != '|') {
      const std::size_t close = s.find(']', i);
      if (close == std::string_view::npos) return;
      tick(c, chord(s, i, close, symbols));
    } else if (ch == '|') {
      i = endingsEnd(s, i + 1);
    } else if (ch == '(' && isDigit(next)) {
      const std::size_t from = i++;
      while (i < s.size() && (isDigit(s[i]) || s[i] == ':')) ++i;
      tuplet(c, s.substr(from, i - from));
    } else if (ch == '>' || ch == '<') {
      const std::size_t from = i;
      while (i < s.size() && s[i] == ch) ++i;
      broke(c, s.substr(from, i - from));
    } else if (ch == 'z' || ch == 'x') {
      tick(c, length(s, ++i));
    } else if (ch == 'Z' || ch == 'X') {
      // A rest of whole bars, as many as its number.
      c.time = sum(c.time, product(c.bar, {readNumber(s, ++i).value_or(1), 1}));
    } else if (ch == 'y') {
      ++i;
      length(s, i);
    } else if (const std::size_t at = i; auto l = note(s, i)) {
      tick(c, *l);
    } else {
      i = at + 1;
    }
  }
}

}  // namespace kry::typeset
