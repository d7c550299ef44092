#include "convert/scanner.h"

#include <array>
#include <bit>
#include <cstring>

#include "convert/keysig.h"
#include "base/stop.h"
#include "base/abc.h"
#include "base/text.h"

namespace kry {
namespace {

const char* const kBadAccidental = "Bad accidental";
const char* const kIncompleteChord = "Incomplete chord";

// The most a character of a music line can add to the tab line: a note letter
// becomes a six-course tab code, the length "1" and a blank.
constexpr std::size_t kMostPerCharacter = 8;

// What a character of a music line is to the scanner. Each character is
// looked up once; the scan is one switch over these.
enum Kind : unsigned char {
  kCopied,      // bar-line colons, blanks, slurs, ties, broken rhythm...: into the tab line as it is
  kBar,         // "|": ends the bar, so its accidentals
  kGrace,       // "{": grace notes, up to "}", stay out of the tab
  kQuote,       // a chord symbol or annotation, up to the next double quote
  kComment,     // "%": the rest of the line is the melody's alone
  kDecoration,  // "!" or "+": a decoration when its partner follows
  kBracket,     // "[": a chord, an inline field, or "[|" and "[1" copied
  kAccidental,  // "^", "=", "_"
  kNote,        // a note letter, A..G or a..g
  kLetter,      // a rest, or another letter that plays no note
  kMark,        // a letter that marks a note rather than plays one: H L M O P S T u v
  kSpacer,      // "y", with the width it may be given
  kRoll,        // "~"
  kDigit,       // 1..9: copied, but for the numbers of repeat endings after a bar line
};

constexpr std::array<Kind, 256> kKinds = [] {
  std::array<Kind, 256> kinds{};
  auto set = [&](std::string_view chars, Kind kind) {
    for (char c : chars) kinds[static_cast<unsigned char>(c)] = kind;
  };
  set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", kLetter);
  set("ABCDEFGabcdefg", kNote);
  set("HLMOPSTuv", kMark);
  set("y", kSpacer);
  set("|", kBar);
  set("{", kGrace);
  set("\"", kQuote);
  set("%", kComment);
  set("!+", kDecoration);
  set("[", kBracket);
  set("^=_", kAccidental);
  set("~", kRoll);
  set("123456789", kDigit);
  return kinds;
}();

Kind kindOf(char c) { return kKinds[static_cast<unsigned char>(c)]; }

// Where the decoration opened at `open` ("!trill!", "+fermata+") closes: its
// partner must follow on the same line with no blank and no bar line in between.
std::size_t decorationEnd(std::string_view line, std::size_t open) {
  std::size_t close = line.find(line[open], open + 1);
  if (close == std::string_view::npos) return close;
  std::string_view inside = line.substr(open + 1, close - open - 1);
  return inside.find_first_of(" |") == std::string_view::npos ? close : std::string_view::npos;
}

// The scan keeps its place on the line and in the tab line in local variables,
// handed to each rule and handed back: the tab line is written through a char
// pointer, and the compiler would otherwise fetch every member again after
// every character written.
struct Place {
  std::size_t i;       // the position on the music line
  char* out;           // the end of the tab line written so far
  std::uint64_t last;  // the length written last, as a word (see below)
};

// A note length as written ("2", "/2", "3/2") is held in one word, its first
// character in the lowest byte, so that two lengths compare as two integers:
// length characters are never zero, so no two texts give the same word. A
// length of more than eight characters is kLongLength, its text kept aside;
// none written yet in the tune is the word 0.
constexpr std::uint64_t kLongLength = ~std::uint64_t{0};
constexpr std::uint64_t kOneUnit = '1';
constexpr std::size_t kWordChars = sizeof(std::uint64_t);

std::uint64_t lengthWord(std::string_view length) {
  if (length.size() > kWordChars) return kLongLength;
  std::uint64_t word = 0;
  for (std::size_t k = 0; k < length.size(); ++k) word |= std::uint64_t{static_cast<unsigned char>(length[k])} << (8 * k);
  return word;
}

std::size_t wordSize(std::uint64_t word) {
  std::size_t size = 0;
  while (size < kWordChars && (word >> (8 * size) & 0xFF) != 0) ++size;
  return size;
}

// Writes a length word's characters; all eight bytes are stored, the room is there.
char* writeWord(char* out, std::uint64_t word, std::size_t size) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &word, kWordChars);
  } else {
    for (std::size_t k = 0; k < size; ++k) out[k] = static_cast<char>(word >> (8 * k));
  }
  return out + size;
}

class Scanner {
 public:
  Scanner(std::string_view line, TuneState& state, const Fingerboard& board, std::ostream& messages)
      : line_(line), state_(state), board_(board), messages_(messages), chart_(&state.chart.forKey(state.keyIndex, board)) {
    if (lengthWord(state.lastLength) == kLongLength) longLast_ = state.lastLength;
  }

  // Writes the tab line into `room`, made for the longest it can grow to; its length.
  // Copied characters and plain notes, the most of every line, take the short
  // way here; everything else takes a step by the rules.
  std::size_t run(char* room) {
    const std::string_view line = line_;
    const std::size_t n = line.size();
    // Held here, not in members: the tab line is written through a char
    // pointer, after which the compiler would fetch every member again.
    const FingerChart::Chart* chart = chart_;
    bool plain = state_.accidentals.none();  // no accidental carried in the bar
    std::uint64_t last = lengthWord(state_.lastLength);
    char* out = room;
    for (std::size_t i = 0; i < n; ++i) {
      char c = line[i];
      Kind kind = kindOf(c);
      if (kind == kCopied) {
        *out++ = c;
        continue;
      }
      if (kind == kNote && plain) {
        char next = charAt(line, i + 1);
        const FingerChart::Spot& spot = (*chart)[static_cast<std::size_t>(plainCode(c))];
        if (!isOctaveMark(next) && spot.course > 0) {
          std::memcpy(out, spot.text.data(), spot.text.size());  // all eight: the room is there
          out += spot.size;
          if (isLengthChar(next)) {
            std::string_view length = readLength(line, i);
            std::uint64_t word = lengthWord(length);
            if (word == kLongLength) {
              Place at = writeLength(Place{i, out, last}, length);
              out = at.out;
              last = at.last;
            } else {
              if (word != last) out = writeWord(out, word, length.size());
              last = word;
            }
          } else if (last != kOneUnit) {
            *out++ = '1';
            last = kOneUnit;
          }
          if (i + 1 < n) *out++ = ' ';
          continue;
        }
      }
      Place at = step(line, Place{i, out, last});
      i = at.i;
      out = at.out;
      last = at.last;
      chart = chart_;  // an inline key field changes it
      plain = state_.accidentals.none();
    }
    if (last == kLongLength) {
      state_.lastLength = longLast_;
    } else {
      char text[kWordChars];
      state_.lastLength.assign(text, static_cast<std::size_t>(writeWord(text, last, wordSize(last)) - text));
    }
    return static_cast<std::size_t>(out - room);
  }

 private:
  static char charAt(std::string_view line, std::size_t pos) { return pos < line.size() ? line[pos] : ' '; }

  static char* emit(char* out, std::string_view text) {
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    return out + text.size();
  }

  // One step of the scan at position i; a rule may move i forward itself.
  [[gnu::always_inline]] Place step(std::string_view line, Place at) {
    char c = line[at.i];
    switch (kindOf(c)) {
      case kCopied:
        *at.out++ = c;
        return at;
      case kBar:
        state_.accidentals.clear();
        *at.out++ = c;
        return at;
      case kGrace:
        return skipTo(line, at, '}');
      case kQuote:
        return skipTo(line, at, '"');
      case kComment:
        at.i = line.size();
        return at;
      case kDecoration:
        if (std::size_t close = decorationEnd(line, at.i); close != std::string_view::npos) {
          at.i = close;
          return at;
        }
        *at.out++ = c;
        return at;
      case kBracket: {
        char next = charAt(line, at.i + 1);
        if (isLetter(next) && charAt(line, at.i + 2) == ':') return inlineField(line, at);
        if (next != '|' && !(next >= '1' && next <= '9')) return chord(line, at);
        *at.out++ = c;
        return at;
      }
      case kAccidental:
        return accidental(line, at);
      case kNote:
      case kLetter:
        return note(line, at.i, at);
      case kMark:
      case kRoll:
        return at;
      case kSpacer:
        readLength(line, at.i);  // a spacer's width has no place on the tab staff
        return at;
      case kDigit:
        if (at.i > 0 && line[at.i - 1] == '|') return skipEndings(line, at);
        *at.out++ = c;
        return at;
    }
    return at;
  }

  // Moves to the partner of the character at i; with none, the rest of the line goes.
  static Place skipTo(std::string_view line, Place at, char partner) {
    std::size_t end = line.find(partner, at.i + 1);
    at.i = end == std::string_view::npos ? line.size() : end;
    return at;
  }

  // The numbers of the repeat endings after a bar line ("|1", ":|2", "|1,2", "|1-3")
  // are the melody's: moves i to the last character of the list.
  static Place skipEndings(std::string_view line, Place at) {
    while (at.i + 1 < line.size() &&
           (isDigit(line[at.i + 1]) || ((line[at.i + 1] == ',' || line[at.i + 1] == '-') && isDigit(charAt(line, at.i + 2)))))
      ++at.i;
    return at;
  }

  // An accidental holds for its letter to the end of the bar; with no letter
  // after it, it adds nothing and the character after it is copied as it is
  // (a roll is dropped).
  Place accidental(std::string_view line, Place at) {
    std::size_t start = at.i++;
    if (at.i >= line.size()) throw Stop(kBadAccidental, kExitStopped);
    acdntl(state_.accidentals, line[start], line[at.i]);
    char c = line[at.i];
    if (isLetter(c)) return note(line, start, at);
    if (c != '~') *at.out++ = c;
    return at;
  }

  // A note or rest from `start` (its accidental, if any) to the letter at i:
  // its tab text, then its length.
  [[gnu::always_inline]] Place note(std::string_view line, std::size_t start, Place at) {
    std::size_t letter = at.i;
    char next = charAt(line, at.i + 1);
    while (isOctaveMark(next)) next = charAt(line, ++at.i + 1);
    char c = line[letter];
    if (start == letter && letter == at.i && (c == 'z' || c == 'x')) {
      *at.out++ = c;  // a rest; "x" is one that shows nothing
    } else {
      const FingerChart::Spot& spot = spotFor(line, start, letter, at.i);
      std::memcpy(at.out, spot.text.data(), spot.text.size());  // all eight: the room is there
      at.out += spot.size;
    }
    at = writeLength(at, isLengthChar(next) ? readLength(line, at.i) : "1");  // none written: one unit
    if (at.i + 1 < line.size()) *at.out++ = ' ';
    return at;
  }

  // Where the note written from `start` (its accidental, if any) over its
  // letter to `last` (its octave mark, if any) is played; a note with no place
  // stops the run.
  const FingerChart::Spot& spotFor(std::string_view text, std::size_t start, std::size_t letter, std::size_t last) {
    char accidental = start < letter ? text[start] : fixacc(state_.accidentals, text[letter]);
    int code = last > letter + 1 ? -1 : noteCode(accidental, text[letter], last > letter ? text[last] : ' ');
    if (code < 0 || (*chart_)[static_cast<std::size_t>(code)].size == 0) unplaceable(text.substr(start, last + 1 - start));
    return (*chart_)[static_cast<std::size_t>(code)];
  }

  // A note with no place: `note` itself writes the message and stops the run.
  [[noreturn]] void unplaceable(std::string_view written) {
    std::string text(written);
    if (!isAccidental(text[0])) {
      char carried = fixacc(state_.accidentals, text[0]);
      if (carried != ' ') text.insert(text.begin(), carried);
    }
    std::string tab = ",,,,,,";
    kry::note(state_.keyIndex, text, tab, board_, messages_);
    throw Stop(" ", kExitStopped);  // `note` stops on every note the chart has no place for
  }

  // The length characters after i, moving i past them.
  [[gnu::always_inline]] static std::string_view readLength(std::string_view line, std::size_t& i) {
    std::size_t start = i + 1;
    while (i + 1 < line.size() && isLengthChar(line[i + 1])) ++i;
    return line.substr(start, i + 1 - start);
  }

  // A length is written only when it differs from the one written last; a
  // note with none written lasts one unit.
  Place writeLength(Place at, std::string_view length) {
    if (length.empty()) length = "1";
    std::uint64_t word = lengthWord(length);
    if (word == at.last && (word != kLongLength || length == longLast_)) return at;
    at.last = word;
    if (word == kLongLength) longLast_ = length;
    at.out = emit(at.out, length);
    return at;
  }

  // An inline field such as [K:D] or [L:1/16]. A key change respells the notes
  // after it; a unit length or a meter goes into the tab line too, so both
  // voices keep the same time; every other field is the melody's alone.
  Place inlineField(std::string_view line, Place at) {
    std::size_t close = line.find(']', at.i + 1);
    if (close == std::string_view::npos) throw Stop(kIncompleteChord, kExitStopped);
    std::string_view field = line.substr(at.i, close - at.i + 1);
    char letter = field[1];
    if (letter == 'K') {
      state_.keyIndex = getkey(keyCodeOf(field.substr(1, field.size() - 2)));
      chart_ = &state_.chart.forKey(state_.keyIndex, board_);
    }
    if (letter == 'L' || letter == 'M') at.out = emit(at.out, field);
    at.i = close;
    return at;
  }

  // A chord: all its notes in one tab code, in brackets, with one length: the
  // length of its first note, or, when no note in it has one, the length
  // written after its bracket ([CEG]2). A chord no course plays keeps its time
  // as an invisible rest.
  Place chord(std::string_view line, Place at) {
    std::size_t close = line.find(']', at.i + 1);
    if (close == std::string_view::npos || close == at.i + 1) throw Stop(kIncompleteChord, kExitStopped);
    std::string_view text = line.substr(at.i + 1, close - at.i - 1);
    at.i = close;

    std::array<char, 6> tabCode;
    tabCode.fill(',');
    std::string_view first;  // the first note's length
    bool seen = false;
    bool lengthInside = text.find_first_of("123456789/") != std::string_view::npos;
    for (std::size_t k = 0; k < text.size();) {
      std::size_t start = k;
      if (isAccidental(text[k])) {
        if (k + 1 >= text.size()) throw Stop(kBadAccidental, kExitStopped);
        acdntl(state_.accidentals, text[k], text[k + 1]);
        ++k;
      }
      if (!isLetter(text[k])) break;  // the chord's notes end here
      std::size_t letter = k;
      while (k + 1 < text.size() && isOctaveMark(text[k + 1])) ++k;
      placeChordNote(text, start, letter, k, tabCode);
      std::size_t length = ++k;
      while (k < text.size() && isLengthChar(text[k])) ++k;
      if (!seen) first = text.substr(length, k - length);
      seen = true;
    }
    std::string_view length = lengthInside ? first : readLength(line, at.i);
    std::size_t played = tabCode.size();
    while (played > 0 && tabCode[played - 1] == ',') --played;
    if (played == 0) {
      *at.out++ = 'x';
      at = writeLength(at, length);
      *at.out++ = ' ';
      return at;
    }
    *at.out++ = '[';
    at.out = emit(at.out, std::string_view(tabCode.data(), played));
    at = writeLength(at, length);
    at.out = emit(at.out, "] ");
    return at;
  }

  // A note of a chord writes its fret letter at its own course; a later note on
  // a course already written replaces the earlier letter.
  void placeChordNote(std::string_view text, std::size_t start, std::size_t letter, std::size_t last,
                      std::array<char, 6>& tabCode) {
    const FingerChart::Spot& spot = spotFor(text, start, letter, last);
    if (spot.course > 0) tabCode[static_cast<std::size_t>(spot.course - 1)] = spot.letter;
  }

  const std::string_view line_;
  TuneState& state_;
  const Fingerboard& board_;
  std::ostream& messages_;
  const FingerChart::Chart* chart_;  // where each coded note is played in the current key
  std::string longLast_;  // the text of a length written last that is too long for a word
};

}  // namespace

std::size_t tabRoom(std::size_t lineSize) { return kMostPerCharacter * lineSize + 2 * kMostPerCharacter; }

std::size_t scanLine(std::string_view line, TuneState& state, const Fingerboard& board, std::ostream& messages,
                     char* room) {
  return Scanner(line, state, board, messages).run(room);
}

void scanLine(std::string_view line, TuneState& state, const Fingerboard& board, std::ostream& messages,
              std::string& tab) {
  tab.clear();
  std::string room(tabRoom(line.size()), ' ');
  room.resize(scanLine(line, state, board, messages, room.data()));
  tab = std::move(room);
}

}  // namespace kry
