#include "convert/scanner.h"

#include <algorithm>
#include <array>

#include "base/abc.h"
#include "base/stop.h"
#include "convert/keysig.h"

namespace kry {
namespace {

const char* const kBadAccidental = "Bad accidental";
const char* const kIncompleteChord = "Incomplete chord";
constexpr std::string_view kCommas = ",,,,,";

// The most a character of a music line adds to the tab line: a note letter
// becomes the commas of five courses and its fret letter, the length "1" and
// a blank; a chord's brackets and blank come with at least two characters.
constexpr std::size_t kMostPerCharacter = 8;

// Writes the tab line into room made at the start for the longest it can
// grow to, one character or piece at a time.
class TabWriter {
 public:
  explicit TabWriter(std::string& tab, std::size_t lineSize) : tab_(tab) {
    tab_.resize(kMostPerCharacter * (lineSize + 2));
    end_ = tab_.data();
  }
  ~TabWriter() { tab_.resize(static_cast<std::size_t>(end_ - tab_.data())); }
  TabWriter(const TabWriter&) = delete;
  TabWriter& operator=(const TabWriter&) = delete;

  TabWriter& operator+=(char c) {
    *end_++ = c;
    return *this;
  }
  TabWriter& operator+=(std::string_view text) {
    for (char c : text) *end_++ = c;
    return *this;
  }

 private:
  std::string& tab_;
  char* end_;
};

// What a character of a music line is to the scanner.
enum Kind : unsigned char {
  kCopied,      // bar-line colons, blanks, slurs, ties, broken rhythm...: into the tab line as it is
  kBar,         // "|": ends the bar, so its accidentals
  kGrace,       // "{": grace notes, up to "}", stay out of the tab
  kQuote,       // a chord symbol or annotation, up to the next double quote
  kComment,     // "%": the rest of the line is the melody's alone
  kDecoration,  // "!" or "+": a decoration when its partner follows
  kBracket,     // "[": a chord, an inline field, or "[|" and "[1" copied
  kAccidental,  // "^", "=", "_"
  kLetter,      // a note, a rest, or another letter that goes to `note` like a note
  kMark,        // a letter that marks a note rather than plays one: H L M O P S T u v, and the roll "~"
  kSpacer,      // "y", with the width it may be given
  kDigit,       // 1..9: copied, but for the numbers of repeat endings after a bar line
};

constexpr std::array<Kind, 256> kKinds = [] {
  std::array<Kind, 256> kinds{};
  auto set = [&](std::string_view chars, Kind kind) {
    for (char c : chars) kinds[static_cast<unsigned char>(c)] = kind;
  };
  set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", kLetter);
  set("HLMOPSTuv~", kMark);
  set("y", kSpacer);
  set("|", kBar);
  set("{", kGrace);
  set("\"", kQuote);
  set("%", kComment);
  set("!+", kDecoration);
  set("[", kBracket);
  set("^=_", kAccidental);
  set("123456789", kDigit);
  return kinds;
}();

Kind kindOf(char c) { return kKinds[static_cast<unsigned char>(c)]; }

class Scanner {
 public:
  Scanner(std::string_view line, TuneState& state, const Fretboard& board, std::string& tab)
      : line_(line), state_(state), board_(board), tab_(tab, line.size()) {}

  void run() {
    for (i_ = 0; i_ < line_.size(); ++i_) step();
  }

 private:
  char at(std::size_t pos) const { return pos < line_.size() ? line_[pos] : ' '; }

  // One step of the scan at position i_; a rule may move i_ forward itself.
  void step() {
    char c = line_[i_];
    switch (kindOf(c)) {
      case kCopied:
        tab_ += c;
        return;
      case kBar:
        state_.accidentals.clear();
        tab_ += c;
        return;
      case kGrace:
        return skipTo('}');
      case kQuote:
        return skipTo('"');
      case kComment:
        i_ = line_.size();
        return;
      case kDecoration:
        if (std::size_t close = decorationEnd(line_, i_); close != std::string_view::npos)
          i_ = close;
        else
          tab_ += c;
        return;
      case kBracket:
        if (isLetter(at(i_ + 1)) && at(i_ + 2) == ':') return inlineField();
        if (at(i_ + 1) != '|' && !(at(i_ + 1) >= '1' && at(i_ + 1) <= '9')) return chord();
        tab_ += c;
        return;
      case kAccidental:
        return accidental();
      case kLetter:
        return note(i_);
      case kMark:
        return;
      case kSpacer:
        readLength();  // a spacer's width has no place on the tab staff
        return;
      case kDigit:
        // The numbers of the repeat endings after a bar line ("|1", ":|2",
        // "|1,2", "|1-3") are the melody's.
        if (i_ > 0 && line_[i_ - 1] == '|')
          i_ = endingsEnd(line_, i_) - 1;
        else
          tab_ += c;
        return;
    }
  }

  // Moves to the partner of the character at i_; with none, the rest of the line goes.
  void skipTo(char partner) { i_ = std::min(line_.find(partner, i_ + 1), line_.size()); }

  // An accidental holds for its letter to the end of the bar; with no letter
  // after it, it adds nothing and the character after it is copied as it is
  // (a roll is dropped).
  void accidental() {
    std::size_t start = i_++;
    if (i_ >= line_.size()) throw Stop(kBadAccidental, kExitStopped);
    acdntl(state_.accidentals, line_[start], line_[i_]);
    if (isLetter(line_[i_])) return note(start);
    if (line_[i_] != '~') tab_ += line_[i_];
  }

  // A note or rest from `start` (its accidental, if any) to the letter at i_:
  // its tab text, then its length and a blank.
  void note(std::size_t start) {
    std::size_t letter = i_;
    while (isOctaveMark(at(i_ + 1))) ++i_;
    char c = line_[letter];
    if (start == letter && letter == i_ && (c == 'z' || c == 'x')) {
      tab_ += c;  // a rest; "x" is one that shows nothing
    } else {
      Spot spot = place(start, letter, i_);
      if (spot.course == 0)
        tab_ += 'x';  // no course plays it: its time stays, unseen
      else  // the commas of the courses above, then the fret letter
        tab_ += kCommas.substr(0, static_cast<std::size_t>(spot.course - 1)), tab_ += fretLetter(spot.fret);
    }
    writeLength(readLength());
    if (i_ + 1 < line_.size()) tab_ += ' ';
  }

  // Where the note written from `start` (its accidental, if any) over its
  // letter to `last` (its octave mark, if any) is played; a note with no place
  // stops the run.
  Spot place(std::size_t start, std::size_t letter, std::size_t last) {
    char accidental = start < letter ? line_[start] : fixacc(state_.accidentals, line_[letter]);
    return kry::note(state_.keyIndex, accidental, line_.substr(letter, last + 1 - letter), board_);
  }

  // The length characters after i_, moving i_ past them.
  std::string_view readLength() {
    std::size_t start = i_ + 1;
    while (isLengthChar(at(i_ + 1))) ++i_;
    return line_.substr(start, i_ + 1 - start);
  }

  // A length is written only when it differs from the one written last; a
  // note with none written lasts one unit.
  void writeLength(std::string_view length) {
    if (length.empty()) length = "1";
    if (std::ranges::equal(length, state_.lastLength)) return;  // lengths are short: compared in line
    state_.lastLength = length;
    tab_ += length;
  }

  // An inline field such as [K:D] or [L:1/16]. A key change respells the notes
  // after it; a unit length or a meter goes into the tab line too, so both
  // voices keep the same time; every other field is the melody's alone.
  void inlineField() {
    std::size_t close = line_.find(']', i_ + 1);
    if (close == std::string_view::npos) throw Stop(kIncompleteChord, kExitStopped);
    std::string_view field = line_.substr(i_, close - i_ + 1);
    if (field[1] == 'K') state_.keyIndex = getkey(keyCodeOf(field.substr(1, field.size() - 2)));
    if (field[1] == 'L' || field[1] == 'M') tab_ += field;
    i_ = close;
  }

  // A chord: all its notes in one tab code, in brackets, with one length: the
  // length of its first note, or, when no note in it has one, the length
  // written after its bracket ([CEG]2). A chord no course plays keeps its time
  // as an invisible rest.
  void chord() {
    std::size_t close = line_.find(']', i_ + 1);
    if (close == std::string_view::npos || close == i_ + 1) throw Stop(kIncompleteChord, kExitStopped);
    std::string_view text = line_.substr(i_ + 1, close - i_ - 1);
    std::size_t inside = i_ + 1;
    i_ = close;

    std::string tabCode(6, ',');
    std::string_view first;  // the first note's length
    bool seen = false;
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
      // A later note on a course already written replaces the earlier letter.
      Spot spot = place(inside + start, inside + letter, inside + k);
      if (spot.course > 0) tabCode[static_cast<std::size_t>(spot.course - 1)] = fretLetter(spot.fret);
      std::size_t length = ++k;
      while (k < text.size() && isLengthChar(text[k])) ++k;
      if (!seen) first = text.substr(length, k - length);
      seen = true;
    }
    bool lengthInside = text.find_first_of("123456789/") != std::string_view::npos;
    std::string_view length = lengthInside ? first : readLength();
    tabCode.erase(tabCode.find_last_not_of(',') + 1);
    if (tabCode.empty()) {
      tab_ += 'x';
      writeLength(length);
      tab_ += ' ';
      return;
    }
    tab_ += '[';
    tab_ += tabCode;
    writeLength(length);
    tab_ += "] ";
  }

  const std::string_view line_;
  TuneState& state_;
  const Fretboard& board_;
  TabWriter tab_;
  std::size_t i_ = 0;  // the position on the music line
};

}  // namespace

void scanLine(std::string_view line, TuneState& state, const Fretboard& board, std::string& tab) {
  Scanner(line, state, board, tab).run();
}

}  // namespace kry
