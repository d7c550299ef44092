#include "convert/scanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "convert/keysig.h"
#include "run/stop.h"
#include "run/text.h"

namespace kry {
namespace {

const char* const kBadAccidental = "Bad accidental";
const char* const kIncompleteChord = "Incomplete chord";

// The most a character of a music line can add to the tab line: a note letter
// becomes a six-course tab code, the length "1" and a blank.
constexpr std::size_t kMostPerCharacter = 8;

// Letters that mark a note rather than play one: trill, fermata, segno, coda and
// the like, and the up- and down-bow; the roll "~" is one too.
bool isDecoration(char c) { return std::string_view("HLMOPSTuv").find(c) != std::string_view::npos; }

// Whether `partner` closes the decoration opened at `open` ("!trill!", "+fermata+"):
// it must follow on the same line with no blank and no bar line in between.
std::size_t decorationEnd(std::string_view line, std::size_t open) {
  std::size_t close = line.find(line[open], open + 1);
  if (close == std::string_view::npos) return close;
  std::string_view inside = line.substr(open + 1, close - open - 1);
  return inside.find_first_of(" |") == std::string_view::npos ? close : std::string_view::npos;
}

class Scanner {
 public:
  Scanner(std::string_view line, TuneState& state, const Fingerboard& board,
          std::ostream& messages, std::string& tab)
      : line_(line), n_(line.size()), state_(state), board_(board), messages_(messages), tab_(tab) {}

  void run() {
    // The tab line is written into room made for the longest it can grow to.
    tab_.resize(kMostPerCharacter * n_ + kMostPerCharacter);
    out_ = tab_.data();
    try {
      for (i_ = 0; i_ < n_; ++i_) step();
    } catch (...) {
      tab_.clear();
      throw;
    }
    tab_.resize(static_cast<std::size_t>(out_ - tab_.data()));
  }

 private:
  char at(std::size_t pos) const { return pos < n_ ? line_[pos] : ' '; }

  void emit(char c) { *out_++ = c; }
  void emit(std::string_view text) {
    std::memcpy(out_, text.data(), text.size());
    out_ += text.size();
  }

  // One step of the scan at position i_; a rule may move i_ forward itself.
  void step() {
    char c = line_[i_];
    switch (c) {
      case '|':
        state_.accidentals.clear();
        break;
      case '{':
        return skipTo('}');  // grace notes stay out of the tab
      case '"':
        return skipTo('"');  // chord symbols and annotations too
      case '%':
        i_ = n_;  // a comment: the rest of the line is the melody's alone
        return;
      case '!':
      case '+':
        if (std::size_t close = decorationEnd(line_, i_); close != std::string_view::npos) {
          i_ = close;  // "!trill!", "!D.C.!", "+fermata+" mark the melody's note
          return;
        }
        break;
      case '[': {
        char next = at(i_ + 1);
        if (isLetter(next) && at(i_ + 2) == ':') return inlineField();
        if (next != '|' && !(next >= '1' && next <= '9')) return chord();
        break;
      }
      default:
        break;
    }
    single();
  }

  // An inline field such as [K:D] or [L:1/16]. A key change respells the notes
  // after it; a unit length or a meter goes into the tab line too, so both
  // voices keep the same time; every other field is the melody's alone.
  void inlineField() {
    std::size_t close = line_.find(']', i_ + 1);
    if (close == std::string_view::npos) throw Stop(kIncompleteChord, kExitStopped);
    std::string_view field = line_.substr(i_, close - i_ + 1);
    char letter = field[1];
    if (letter == 'K') state_.keyIndex = getkey(keyCodeOf(field.substr(1, field.size() - 2)));
    if (letter == 'L' || letter == 'M') emit(field);
    i_ = close;
  }

  // Moves to the partner of the character at i_; with none, the rest of the line goes.
  void skipTo(char partner) {
    std::size_t end = line_.find(partner, i_ + 1);
    i_ = end == std::string_view::npos ? n_ : end;
  }

  // A note or rest with its accidental and length, or any other character.
  void single() {
    std::size_t start = i_;
    if (isAccidental(line_[i_])) {
      ++i_;
      if (i_ >= n_) throw Stop(kBadAccidental, kExitStopped);
      acdntl(state_.accidentals, line_[start], line_[i_]);
    }
    char c = line_[i_];
    if (start == i_ && isDecoration(c)) return;
    if (start == i_ && c == 'y') {  // a spacer, with the width it may be given
      while (i_ + 1 < n_ && isLengthChar(line_[i_ + 1])) ++i_;
      return;
    }
    if (isLetter(c)) {
      readNoteLetters(line_, i_);
      std::string_view written = line_.substr(start, i_ - start + 1);
      if (written == "z" || written == "x") {  // a rest; "x" is one that shows nothing
        emit(c);
      } else {
        tabCode_.fill(',');
        placeNote(written);
        appendTabCode();
      }
      noteLength();
      return;
    }
    if (c == '~') return;  // a roll
    if (c >= '1' && c <= '9' && i_ > 0 && line_[i_ - 1] == '|') return skipEndings();
    emit(c);
  }

  // The numbers of the repeat endings after a bar line ("|1", ":|2", "|1,2", "|1-3")
  // are the melody's: moves i_ to the last character of the list.
  void skipEndings() {
    while (i_ + 1 < n_ && (isDigit(line_[i_ + 1]) ||
                           ((line_[i_ + 1] == ',' || line_[i_ + 1] == '-') && isDigit(at(i_ + 2)))))
      ++i_;
  }

  static bool isDigit(char c) { return c >= '0' && c <= '9'; }

  // Moves `pos` over the octave marks that follow the letter at `pos`.
  static void readNoteLetters(std::string_view text, std::size_t& pos) {
    while (pos + 1 < text.size() && (text[pos + 1] == ',' || text[pos + 1] == '\'')) ++pos;
  }

  // The note's own accidental, or the one carried in the bar, then its fret
  // letter on its course, as `note` places it.
  void placeNote(std::string_view written) {
    char carried = isAccidental(written[0]) ? ' ' : fixacc(state_.accidentals, written[0]);
    int code = noteCode(carried, written);
    FingerChart::Spot spot{-1, ' '};
    if (code >= 0) spot = state_.chart.at(state_.keyIndex, code, board_);
    if (spot.course < 0) return unplaceable(carried, written);
    if (spot.course > 0) tabCode_[static_cast<std::size_t>(spot.course - 1)] = spot.letter;
  }

  // A note with no place: `note` itself writes the message and stops the run.
  void unplaceable(char carried, std::string_view written) {
    std::string text(written);
    if (carried != ' ') text.insert(text.begin(), carried);
    std::string tab(tabCode_.begin(), tabCode_.end());
    note(state_.keyIndex, text, tab, board_, messages_);
    std::copy(tab.begin(), tab.end(), tabCode_.begin());
  }

  // The tab code without the commas of the courses below the lowest one played;
  // empty when no course plays the note.
  std::string_view played() const {
    std::size_t used = tabCode_.size();
    while (used > 0 && tabCode_[used - 1] == ',') --used;
    return {tabCode_.data(), used};
  }

  // A note no course plays keeps its time as an invisible rest "x".
  void appendTabCode() {
    if (played().empty()) return emit('x');
    emit(played());
  }

  // The length characters after i_, moving i_ past them.
  std::string_view readLength() {
    std::size_t start = i_ + 1;
    while (i_ + 1 < n_ && isLengthChar(line_[i_ + 1])) ++i_;
    return line_.substr(start, i_ + 1 - start);
  }

  // A length is written only when it differs from the one written last.
  void writeLength(std::string_view length) {
    if (length.empty()) length = "1";
    if (length != state_.lastLength) {
      emit(length);
      state_.lastLength.assign(length);
    }
  }

  // A note's length and a blank; a note that ends the line can have no length
  // written after it, so it lasts one unit, and no blank follows it.
  void noteLength() {
    writeLength(readLength());
    if (i_ + 1 < n_) emit(' ');
  }

  // A chord: all its notes in one tab code, in brackets, with one length: the
  // length of its first note, or, when no note in it has one, the length
  // written after its bracket ([CEG]2). A chord no course plays keeps its time
  // as an invisible rest.
  void chord() {
    std::size_t close = line_.find(']', i_ + 1);
    if (close == std::string_view::npos || close == i_ + 1)
      throw Stop(kIncompleteChord, kExitStopped);
    std::string_view text = line_.substr(i_ + 1, close - i_ - 1);
    i_ = close;

    tabCode_.fill(',');
    std::optional<std::string_view> first;  // the first note's length
    bool lengthInside = text.find_first_of("123456789/") != std::string_view::npos;
    for (std::size_t k = 0; k < text.size();) {
      std::size_t start = k;
      if (isAccidental(text[k])) {
        if (k + 1 >= text.size()) throw Stop(kBadAccidental, kExitStopped);
        acdntl(state_.accidentals, text[k], text[k + 1]);
        ++k;
      }
      if (!isLetter(text[k])) break;  // the chord's notes end here
      readNoteLetters(text, k);
      placeNote(text.substr(start, ++k - start));
      std::size_t length = k;
      while (k < text.size() && isLengthChar(text[k])) ++k;
      if (!first) first = text.substr(length, k - length);
    }
    std::string_view length = lengthInside ? first.value_or("") : readLength();
    if (played().empty()) {
      emit('x');
      writeLength(length);
      return emit(' ');
    }
    emit('[');
    emit(played());
    writeLength(length);
    emit("] ");
  }

  std::string_view line_;
  std::size_t n_;
  std::size_t i_ = 0;
  TuneState& state_;
  const Fingerboard& board_;
  std::ostream& messages_;
  std::string& tab_;
  char* out_ = nullptr;
  std::array<char, 6> tabCode_{};
};

}  // namespace

void scanLine(std::string_view line, TuneState& state, const Fingerboard& board,
              std::ostream& messages, std::string& tab) {
  Scanner(line, state, board, messages, tab).run();
}

}  // namespace kry
