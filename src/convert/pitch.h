// Pitch to tab position: `note` places one melody note on the fingerboard of a
// guitar or a four-course mandolin, in standard tuning or another, after the
// key signature and the transposition, by writing one fret letter into the tab code.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "base/abc.h"

namespace kry {

// The open note of each course as a pitch position (1 = "E,"), course 1 (the
// highest) first. Each course plays from its open note up to a half step below
// the next higher course's; the highest course up to its tenth fret.
struct Tuning {
  std::array<int, 6> open{};
  int courses = 0;  // 4 or 6
  bool operator==(const Tuning&) const = default;
};
inline constexpr Tuning kStandardGuitar{{25, 20, 16, 11, 6, 1}, 6};  // E A D G B e
inline constexpr Tuning kStandardMandolin{{25, 18, 11, 4, 0, 0}, 4};  // G D A e

// A tuning written as ABC notes from the lowest course up ("D,A,DGAd"), four
// or six of them, each higher than the one before; nothing when it is not one.
std::optional<Tuning> readTuning(std::string_view notes);

// What `note` needs besides the note itself; fixed for a whole run.
struct Fingerboard {
  int transposition = 0;     // half steps, positive upwards
  bool mandolin = false;     // four courses instead of six
  bool bOnThirdString = false;  // the B of the open second string at fret 4 of course 3
  std::optional<Tuning> tuning;  // another tuning than the instrument's standard one

  const Tuning& courses() const { return tuning ? *tuning : mandolin ? kStandardMandolin : kStandardGuitar; }
  bool operator==(const Fingerboard&) const = default;
};

// Where a note is played: its course (1 the highest) and fret; course 0 when
// it lies below every course (a mandolin note under its G), which the tab
// shows as an invisible rest.
struct Spot {
  int course = 0;
  int fret = 0;
};

// Where every note is played on one fingerboard, in each key, after the
// transposition: the course layout of a run as a table, made once from the
// rule of `note`.
// Where a note is played, and how a single note shows in the tab line: the
// commas of the courses above and the fret letter, or "x" for course 0.
struct Place {
  bool placed = false;  // false: the note has no place
  Spot spot;
  unsigned char size = 0;
  std::array<char, 6> text{};
  std::string_view shown() const { return {text.data(), size}; }
};

class Fretboard {
 public:
  explicit Fretboard(const Fingerboard& board);
  const Fingerboard& board() const { return board_; }
  // Where a note is played in the key `keyIndex`: its own or its carried
  // accidental (blank for none), then as written its letter and octave marks.
  const Place& place(int keyIndex, char accidental, std::string_view written) const {
    int code = codeOf(accidental, written[0], written.substr(1));
    if (code < 0) return kNowhere;
    if (keyIndex < 1 || keyIndex > 14) keyIndex = 0;  // no sharps or flats
    return places_[static_cast<std::size_t>(keyIndex)][static_cast<std::size_t>(code)];
  }

  // A number for each note that may have a place: its accidental or none, its
  // letter, one octave mark or none; -1 for any other.
  static constexpr int kCodes = 4 * 14 * 3;
  static constexpr int codeOf(char accidental, char letter, std::string_view marks) {
    int a = accidental == ' ' ? 0 : accidental == '^' ? 1 : accidental == '=' ? 2 : accidental == '_' ? 3 : -1;
    int l = letter >= 'A' && letter <= 'G' ? letter - 'A' : letter >= 'a' && letter <= 'g' ? letter - 'a' + 7 : -1;
    int m = marks.empty() ? 0 : marks.size() > 1 ? -1 : marks[0] == ',' ? 1 : marks[0] == '\'' ? 2 : -1;
    if (a < 0 || l < 0 || m < 0) return -1;
    return a * 42 + l * 3 + m;
  }

 private:
  static constexpr Place kNowhere{};
  Fingerboard board_;
  // Worked out for every key and note when the board is made, since every
  // note of a tune is looked up.
  std::array<std::array<Place, kCodes>, 15> places_;  // by key index, then by note
};

// The key signature's part of a note: the note text (an accidental, a letter,
// an octave mark) as the key of `keyIndex` spells it; a text with an
// accidental of its own stays as it is.
std::string keySpelling(int keyIndex, const std::string& noteText);

// note: where a note is played on `board`, after the key signature of
// `keyIndex` and the transposition: its own or its carried accidental (blank
// for none), then as written its letter and octave marks. A note with no
// place raises a Stop whose message is the not-available line (unavailable).
[[noreturn]] void unavailable(int keyIndex, char accidental, std::string_view written, const Fingerboard& board);
inline const Place& note(int keyIndex, char accidental, std::string_view written, const Fretboard& board) {
  const Place& place = board.place(keyIndex, accidental, written);
  if (!place.placed) unavailable(keyIndex, accidental, written, board.board());
  return place;
}

}  // namespace kry
