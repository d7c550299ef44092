// Pitch to tab position: `note` places one melody note on the fingerboard of a
// guitar or a four-course mandolin, in standard tuning or another, after the
// key signature and the transposition, by writing one fret letter into the tab code.
#pragma once

#include <array>
#include <optional>
#include <ostream>
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

// The same for a note read character by character: its accidental (blank for
// none), its letter and its octave mark (blank for none). Each character's
// share of the code is one table lookup, since every note of a tune is coded;
// a character that can't stand there gives a share that puts the sum past
// the last code.
namespace notecode {
constexpr std::string_view kAccidentals = " ^=_";
constexpr std::string_view kLetters = "ABCDEFGabcdefg";
constexpr std::string_view kMarks = " ,'";
constexpr int kCodes = 4 * 14 * 3;
constexpr int kNone = 1000;
using Shares = std::array<short, 256>;
constexpr Shares sharesOf(std::string_view chars, int step) {
  Shares shares{};
  shares.fill(kNone);
  for (std::size_t k = 0; k < chars.size(); ++k) shares[static_cast<unsigned char>(chars[k])] = static_cast<short>(k * step);
  return shares;
}
constexpr Shares kAccidental = sharesOf(kAccidentals, 14 * 3);
constexpr Shares kLetter = sharesOf(kLetters, 3);
constexpr Shares kMark = sharesOf(kMarks, 1);
}  // namespace notecode

// The code of a note letter with no accidental and no octave mark; past the
// last code for a character that is no note letter.
inline int plainCode(char letter) { return notecode::kLetter[static_cast<unsigned char>(letter)]; }

constexpr int noteCode(char accidental, char letter, char mark) {
  int code = notecode::kAccidental[static_cast<unsigned char>(accidental)] +
             notecode::kLetter[static_cast<unsigned char>(letter)] + notecode::kMark[static_cast<unsigned char>(mark)];
  return code < notecode::kCodes ? code : -1;
}

// Where `note` places every coded note text, for each key signature on one
// fingerboard: worked out once per key, down to the finished text a single
// note adds to the tab line, so the scanner looks each note up once.
class FingerChart {
 public:
  struct Spot {
    int course;                // 1..6; 0: no course plays it (a low mandolin note); -1: `note` stops
    char letter;               // the fret letter on that course
    unsigned char size;        // of `text`
    std::array<char, 8> text;  // the commas of the courses above and the letter; "x" for course 0
  };
  using Chart = std::array<Spot, notecode::kCodes>;

  // Every coded note's spot in the key `keyIndex` on `board`; an index
  // outside 1..14 is a key without sharps or flats, as for `note`.
  const Chart& forKey(int keyIndex, const Fingerboard& board) {
    if (keyIndex < 1 || keyIndex > 14) keyIndex = 0;
    std::size_t key = static_cast<std::size_t>(keyIndex);
    if (!(board == board_)) forget(board);
    if (!ready_[key]) prepare(keyIndex);
    return spots_[key];
  }
  Spot at(int keyIndex, int code, const Fingerboard& board) { return forKey(keyIndex, board)[static_cast<std::size_t>(code)]; }

 private:
  void forget(const Fingerboard& board);
  void prepare(int keyIndex);

  Fingerboard board_;
  std::array<bool, 15> ready_{};
  std::array<Chart, 15> spots_{};
};

}  // namespace kry
