#include "base/abc.h"

#include <algorithm>
#include <charconv>
#include <numeric>

#include "base/text.h"

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
  i = lengthEnd(text, i);
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

namespace {

// The decorations of ABC 2.1, and the few more abcm2ps knows, as tune books
// use them.
constexpr std::string_view kDecorations[] = {
    "trill", "trill(", "trill)", "lowermordent", "uppermordent", "mordent", "pralltriller", "roll", "turn",
    "turnx", "invertedturn", "invertedturnx", "arpeggio", ">", "accent", "emphasis", "fermata",
    "invertedfermata", "tenuto", "0", "1", "2", "3", "4", "5", "+", "plus", "snap", "slide", "wedge", "upbow",
    "downbow", "open", "thumb", "breath", "pppp", "ppp", "pp", "p", "mp", "mf", "f", "ff", "fff", "ffff", "sfz",
    "crescendo(", "<(", "crescendo)", "<)", "diminuendo(", ">(", "diminuendo)", ">)", "segno", "coda", "D.S.",
    "D.C.", "dacoda", "dacapo", "fine", "shortphrase", "mediumphrase", "longphrase",
    // abcm2ps's own
    "ignore", "editorial", "courtesy", "head-small", "beambr1", "beambr2", "beamon", "invisible", "marcato",
    "^", "~", ".", "staccato", "D.C.alfine", "D.C.alcoda", "D.S.alfine", "D.S.alcoda", "xstem", "trem1",
    "trem2", "trem3", "trem4", "stemless", "gmark", "rbstop", "dacs", "nil", "none",
};

// What an ABC 1.6 chord in "+" holds: notes with their accidentals, octave
// marks and lengths, ties, and blanks between them.
bool isChordText(std::string_view text) {
  bool note = false;
  for (char c : text) {
    if (isNoteLetter(c))
      note = true;
    else if (!isAccidental(c) && !isOctaveMark(c) && !isDigit(c) && c != '/' && c != '-' && c != ' ')
      return false;
  }
  return note;
}

bool isDecorationName(std::string_view name) {
  return std::find(std::begin(kDecorations), std::end(kDecorations), name) != std::end(kDecorations);
}

}  // namespace

void Symbols::define(std::string_view value) {
  const std::size_t letter = value.find_first_not_of(" \t");
  const std::size_t equals = value.find('=');
  if (letter == std::string_view::npos || equals == std::string_view::npos || equals < letter) return;
  const char c = value[letter];
  if (!((c >= 'H' && c <= 'W') || (c >= 'h' && c <= 'w') || c == '~')) return;
  if (!marks(c)) letters_ += c;
  const std::string_view decoration = trim(value.substr(equals + 1), kBlanksAndTabs);
  if (decoration.size() > 2 && (decoration[0] == '!' || decoration[0] == '+') && decoration.back() == decoration[0])
    names_.emplace_back(decoration.substr(1, decoration.size() - 2));
}

bool Symbols::isDecoration(std::string_view name) const {
  return isDecorationName(name) || std::find(names_.begin(), names_.end(), name) != names_.end();
}

Mark markAt(std::string_view line, std::size_t open, const Symbols& symbols) {
  if (line[open] == '!') {
    const std::size_t close = decorationEnd(line, open);
    return close == std::string_view::npos ? Mark{MarkKind::kLone, open} : Mark{MarkKind::kDecoration, close};
  }
  const std::size_t close = line.find('+', open + 1);
  if (close == std::string_view::npos) return {MarkKind::kDecoration, line.size() - 1};
  const std::string_view inside = line.substr(open + 1, close - open - 1);
  const bool chord = !symbols.isDecoration(inside) && isChordText(inside);
  return {chord ? MarkKind::kChord : MarkKind::kDecoration, close};
}

std::size_t chordMarkEnd(std::string_view chord, std::size_t i, const Symbols& symbols) {
  while (i < chord.size()) {
    const char c = chord[i];
    if (c == '!' || c == '+') {
      // A decoration inside the chord; a mark with no partner in it is passed over alone.
      std::size_t close = c == '!' ? decorationEnd(chord, i) : chord.find('+', i + 1);
      i = close == std::string_view::npos ? i + 1 : close + 1;
    } else if (isShorthand(c) || symbols.marks(c) || c == '.' || c == '(' || c == ')' || c == '-' || c == ' ') {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

namespace {
// The signed number after `name` ("octave=", "transpose=") among the words
// of a field, up to `largest` either way; nothing when the field gives none.
std::optional<int> modifierOf(std::string_view field, std::string_view name, long largest) {
  field = field.substr(0, field.find('%'));
  for (std::size_t at = field.find(name); at != std::string_view::npos; at = field.find(name, at + 1)) {
    if (at > 0 && field[at - 1] != ' ' && field[at - 1] != '\t' && field[at - 1] != ':') continue;
    std::size_t i = at + name.size();
    const bool minus = i < field.size() && field[i] == '-';
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) ++i;
    const std::optional<long> number = readNumber(field, i);
    if (!number || *number > largest) return std::nullopt;
    return static_cast<int>(minus ? -*number : *number);
  }
  return std::nullopt;
}
}  // namespace

std::optional<int> octaveOf(std::string_view field) { return modifierOf(field, "octave=", 4); }

std::optional<int> transposeOf(std::string_view field) { return modifierOf(field, "transpose=", 48); }

std::size_t endingsEnd(std::string_view text, std::size_t i) {
  auto digitAt = [&](std::size_t k) { return k < text.size() && isDigit(text[k]); };
  while (digitAt(i) || (i < text.size() && (text[i] == ',' || text[i] == '-') && digitAt(i + 1))) ++i;
  return i;
}

}  // namespace kry
