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
class Fretboard {
 public:
  explicit Fretboard(const Fingerboard& board);
  const Fingerboard& board() const { return board_; }
  // Where a note is played in the key `keyIndex`: its own or its carried
  // accidental (blank for none), then as written its letter and octave marks;
  // nothing when it has no place.
  std::optional<Spot> spot(int keyIndex, char accidental, std::string_view written) const;

 private:
  static constexpr int kCodes = 4 * 14 * 3;  // an accidental or none, a letter, an octave mark or none
  Fingerboard board_;
  std::array<std::array<std::optional<Spot>, kCodes>, 15> spots_;  // by key index, then by note
};

// The key signature's part of a note: the note text (an accidental, a letter,
// an octave mark) as the key of `keyIndex` spells it; a text with an
// accidental of its own stays as it is.
std::string keySpelling(int keyIndex, const std::string& noteText);

// note: where a note is played on `board`, after the key signature of
// `keyIndex` and the transposition: its own or its carried accidental (blank
// for none), then as written its letter and octave marks. A note with no
// place raises a Stop whose message is the not-available line.
Spot note(int keyIndex, char accidental, std::string_view written, const Fretboard& board);

}  // namespace kry
