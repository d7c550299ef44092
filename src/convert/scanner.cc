#include "convert/scanner.h"

#include "run/stop.h"
#include "run/text.h"

namespace kry {
namespace {

const char* const kBadAccidental = "Bad accidental";
const char* const kIncompleteChord = "Incomplete chord";

class Scanner {
 public:
  Scanner(std::string_view line, TuneState& state, const Fingerboard& board,
          std::ostream& messages, std::string& tab)
      : line_(line), n_(line.size()), state_(state), board_(board), messages_(messages), tab_(tab) {}

  void run() {
    tab_.clear();
    for (i_ = 0; i_ < n_; ++i_) step();
  }

 private:
  char at(std::size_t pos) const { return pos < n_ ? line_[pos] : ' '; }

  // One step of the scan at position i_; a rule may move i_ forward itself.
  void step() {
    char c = line_[i_];
    if (c == '|') state_.accidentals.clear();
    if (c == '{') return skipTo('}');  // grace notes stay out of the tab
    if (c == '"') return skipTo('"');  // chord symbols and annotations too
    char next = at(i_ + 1);
    if (c == '[' && next != '|' && !(next >= '1' && next <= '9')) return chord();
    single();
  }

  // Moves to the partner of the character at i_; with none, the rest of the line goes.
  void skipTo(char partner) {
    std::size_t end = line_.find(partner, i_ + 1);
    i_ = end == std::string_view::npos ? n_ : end;
  }

  // A note or rest with its accidental and length, or any other character.
  void single() {
    noteText_.clear();
    if (isAccidental(line_[i_])) {
      noteText_ += line_[i_++];
      if (i_ >= n_) throw Stop(kBadAccidental, kExitStopped);
      acdntl(state_.accidentals, noteText_[0], line_[i_]);
    }
    if (isLetter(line_[i_])) {
      readNoteLetters(line_, i_, noteText_);
      if (noteText_ == "z") {
        tab_ += 'z';
      } else {
        tabCode_.assign(6, ',');
        placeNote();
        appendTabCode();
      }
      noteLength();
      return;
    }
    char c = line_[i_];
    if (c == '~') return;                                                   // a roll
    if (c >= '1' && c <= '9' && i_ > 0 && line_[i_ - 1] == '|') return;  // ending number
    tab_ += c;
  }

  // The letter at `pos` and the octave marks right after it join the note text.
  static void readNoteLetters(std::string_view text, std::size_t& pos, std::string& noteText) {
    std::size_t start = pos;
    while (pos + 1 < text.size() && (text[pos + 1] == ',' || text[pos + 1] == '\'')) ++pos;
    noteText.append(text.data() + start, pos - start + 1);
  }

  // The note's own accidental, or the one carried in the bar, then its course.
  void placeNote() {
    if (!isAccidental(noteText_[0])) fixacc(state_.accidentals, noteText_);
    note(state_.keyIndex, noteText_, tabCode_, board_, messages_);
  }

  // The tab code without the commas of the courses below the lowest one played.
  void appendTabCode() {
    std::size_t last = tabCode_.find_last_not_of(',');
    if (last != std::string::npos) tab_.append(tabCode_, 0, last + 1);
  }

  // Reads the length characters after i_ into `length`, moving i_ past them.
  void readLength(std::string& length) {
    length.clear();
    while (i_ + 1 < n_ && isLengthChar(line_[i_ + 1])) length += line_[++i_];
  }

  void writeLength(std::string& length) {
    if (length.empty()) length.assign(1, '1');
    if (length != state_.lastLength) {
      tab_ += length;
      state_.lastLength = length;
    }
  }

  // A note's length: written only when it differs from the last one written.
  // A note that ends the line gets neither length nor blank.
  void noteLength() {
    if (i_ + 1 >= n_) return;
    readLength(length_);
    writeLength(length_);
    tab_ += ' ';
  }

  // A chord: all its notes in one tab code, in brackets, with one length.
  void chord() {
    std::size_t close = line_.find(']', i_ + 1);
    if (close == std::string_view::npos || close == i_ + 1)
      throw Stop(kIncompleteChord, kExitStopped);
    tab_ += '[';
    std::string_view inside = line_.substr(i_ + 1, close - i_ - 1);
    i_ = close;

    // The length inside the brackets ([C2E2G2]), or else the one after them ([CEG]2).
    // Only the first run of length characters is the length; all of them leave the text.
    chordText_.clear();
    length_.clear();
    enum { kBefore, kInRun, kAfter } lengthRun = kBefore;
    for (char c : inside) {
      if (isLengthChar(c)) {
        if (lengthRun != kAfter) {
          length_ += c;
          lengthRun = kInRun;
        }
      } else {
        chordText_ += c;
        if (lengthRun == kInRun) lengthRun = kAfter;
      }
    }
    bool lengthSeen = lengthRun != kBefore;
    if (!lengthSeen) readLength(length_);

    tabCode_.assign(6, ',');
    for (std::size_t k = 0; k < chordText_.size();) {
      noteText_.clear();
      if (isAccidental(chordText_[k])) {
        noteText_ += chordText_[k];
        if (k + 1 >= chordText_.size()) throw Stop(kBadAccidental, kExitStopped);
        acdntl(state_.accidentals, chordText_[k], chordText_[k + 1]);
        ++k;
      }
      if (!isLetter(chordText_[k])) break;  // the chord's notes end here
      readNoteLetters(chordText_, k, noteText_);
      ++k;
      placeNote();
    }
    appendTabCode();
    writeLength(length_);
    tab_ += "] ";
  }

  std::string_view line_;
  std::size_t n_;
  std::size_t i_ = 0;
  TuneState& state_;
  const Fingerboard& board_;
  std::ostream& messages_;
  std::string& tab_;
  std::string noteText_;
  std::string tabCode_;
  std::string length_;
  std::string chordText_;
};

}  // namespace

void scanLine(std::string_view line, TuneState& state, const Fingerboard& board,
              std::ostream& messages, std::string& tab) {
  Scanner(line, state, board, messages, tab).run();
}

}  // namespace kry
