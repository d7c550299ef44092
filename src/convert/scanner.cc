#include "convert/scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "run/stop.h"
#include "run/text.h"

namespace kry {
namespace {

const char* const kBadAccidental = "Bad accidental";
const char* const kIncompleteChord = "Incomplete chord";

// The most a character of a music line can add to the tab line: a note letter
// becomes a six-course tab code, the length "1" and a blank.
constexpr std::size_t kMostPerCharacter = 8;

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
      case '[': {
        char next = at(i_ + 1);
        if (next != '|' && !(next >= '1' && next <= '9')) return chord();
        break;
      }
      default:
        break;
    }
    single();
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
    if (isLetter(line_[i_])) {
      readNoteLetters(line_, i_);
      std::string_view written = line_.substr(start, i_ - start + 1);
      if (written == "z") {
        emit('z');
      } else {
        tabCode_.fill(',');
        placeNote(written);
        appendTabCode();
      }
      noteLength();
      return;
    }
    char c = line_[i_];
    if (c == '~') return;                                                   // a roll
    if (c >= '1' && c <= '9' && i_ > 0 && line_[i_ - 1] == '|') return;  // ending number
    emit(c);
  }

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

  // The tab code without the commas of the courses below the lowest one played.
  void appendTabCode() {
    std::size_t used = tabCode_.size();
    while (used > 0 && tabCode_[used - 1] == ',') --used;
    emit(std::string_view(tabCode_.data(), used));
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

  // A note's length; a note that ends the line gets neither length nor blank.
  void noteLength() {
    if (i_ + 1 >= n_) return;
    writeLength(readLength());
    emit(' ');
  }

  // A chord: all its notes in one tab code, in brackets, with one length.
  void chord() {
    std::size_t close = line_.find(']', i_ + 1);
    if (close == std::string_view::npos || close == i_ + 1)
      throw Stop(kIncompleteChord, kExitStopped);
    emit('[');
    std::string_view inside = line_.substr(i_ + 1, close - i_ - 1);
    i_ = close;

    // The length inside the brackets ([C2E2G2]), or else the one after them
    // ([CEG]2). Only the first run of length characters is the length; all of
    // them leave the chord's text.
    chordText_.clear();
    std::string_view length;
    std::size_t runStart = std::string_view::npos;
    bool runOver = false;
    for (std::size_t k = 0; k < inside.size(); ++k) {
      char c = inside[k];
      if (isLengthChar(c)) {
        if (runStart == std::string_view::npos) runStart = k;
        if (!runOver) length = inside.substr(runStart, k - runStart + 1);
      } else {
        chordText_ += c;
        if (runStart != std::string_view::npos) runOver = true;
      }
    }
    if (runStart == std::string_view::npos) length = readLength();

    tabCode_.fill(',');
    std::string_view text = chordText_;
    for (std::size_t k = 0; k < text.size();) {
      std::size_t start = k;
      if (isAccidental(text[k])) {
        if (k + 1 >= text.size()) throw Stop(kBadAccidental, kExitStopped);
        acdntl(state_.accidentals, text[k], text[k + 1]);
        ++k;
      }
      if (!isLetter(text[k])) break;  // the chord's notes end here
      readNoteLetters(text, k);
      ++k;
      placeNote(text.substr(start, k - start));
    }
    appendTabCode();
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
  std::string chordText_;
};

}  // namespace

void scanLine(std::string_view line, TuneState& state, const Fingerboard& board,
              std::ostream& messages, std::string& tab) {
  Scanner(line, state, board, messages, tab).run();
}

}  // namespace kry
