// Pitch to tab position: `note` places one melody note on the fingerboard of a
// guitar or a four-course mandolin, in standard tuning or another, after the
// key signature and the transposition, by writing one fret letter into the tab code.
#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

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

// note: rewrites `noteText` by the key signature of `keyIndex`, finds its pitch
// position, adds the transposition and writes the fret letter into `tabCode`
// (six characters, course 1 first). A note with no place on the instrument
// writes the not-available message to `messages` and raises a stop.
void note(int keyIndex, std::string& noteText, std::string& tabCode, const Fingerboard& board,
          std::ostream& messages);

// The pitch position of a note text (1 = "E,", 35 = "d'"), or 0 when the
// position table does not hold it. "^d'" lies one above the compass, at 36;
// the notes down to "C," below it, at -3 to 0, are held for low tunings alone.
int pitchPosition(const std::string& noteText);

// The note text as the key signature of `keyIndex` spells it.
std::string keySpelling(int keyIndex, const std::string& noteText);

// A small number for each note text that can have a position: an optional
// accidental ("^", "=", "_"), a letter A..G or a..g and at most one octave mark.
// `accidental` is put in front of `written` (blank: none); -1 for other texts.
int noteCode(char accidental, std::string_view written);

// Where `note` places every coded note text, for each key signature on one
// fingerboard: worked out once per key, so the scanner can look notes up.
class FingerChart {
 public:
  struct Spot {
    int course;   // 1..6; 0: no course plays it (a low mandolin note); -1: `note` stops
    char letter;  // the fret letter on that course
  };

  // The spot of a coded note in the key `keyIndex` on `board`; an index
  // outside 1..14 is a key without sharps or flats, as for `note`.
  Spot at(int keyIndex, int code, const Fingerboard& board) {
    if (keyIndex < 1 || keyIndex > 14) keyIndex = 0;
    std::size_t key = static_cast<std::size_t>(keyIndex);
    if (!sameBoard(board)) forget(board);
    if (!ready_[key]) prepare(keyIndex);
    return spots_[key][static_cast<std::size_t>(code)];
  }

 private:
  static constexpr int kCodes = 4 * 14 * 3;
  bool sameBoard(const Fingerboard& board) const { return board == board_; }
  void forget(const Fingerboard& board);
  void prepare(int keyIndex);

  Fingerboard board_;
  std::array<bool, 15> ready_{};
  std::array<std::array<Spot, kCodes>, 15> spots_{};
};

}  // namespace kry
