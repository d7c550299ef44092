// Pitch to tab place: `note` places one melody note on the fingerboard of a
// fretted instrument of four, five or six courses (the guitar and the
// four-course mandolin in standard tuning or another, the banjos, the
// ukulele, the bouzouki, the mandola), after the key signature and the
// transposition, by writing one fret letter into the tab code.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/abc.h"
#include "base/stop.h"

namespace kry {

// The open note of each course as a pitch (1 = "E,"), course 1 (the top
// line of the tab) first, in any order of pitch: a re-entrant course (the
// ukulele's g) sounds higher than the course above it. A short course has
// its nut at a fret of the neck (the 5-string banjo's fifth string, at the
// fifth): open it sounds its note, and it is stopped only above its nut, at
// frets counted from the main nut.
struct Tuning {
  std::array<int, 6> open{};
  int courses = 0;  // 4, 5 or 6
  std::array<int, 6> nut{};  // 0 for a course as long as the neck
  bool operator==(const Tuning&) const = default;
};
inline constexpr Tuning kStandardGuitar{{25, 20, 16, 11, 6, 1}, 6};  // E A D G B e
inline constexpr Tuning kStandardMandolin{{25, 18, 11, 4, 0, 0}, 4};  // G D A e
// The 5-string banjo's fifth string stands on the fifth fret.
inline constexpr int kBanjoNut = 5;

// A tuning written as ABC notes from the last course (the bottom line of the
// tab) to the first ("D,A,DGAd", "gDGBd"), four, five or six of them in any
// order of pitch; nothing when it is not one, and then `fault`, when given,
// says why.
std::optional<Tuning> readTuning(std::string_view notes, std::string* fault = nullptr);

// How an instrument sounds: its General MIDI program (from 0) and the octaves
// it sounds below its written music (the guitar's and the banjo's music is
// written an octave above their sound).
struct Sound {
  int program = 25;
  int octavesBelow = 0;
  bool operator==(const Sound&) const = default;
};

// An instrument a player names: its usual tuning as ABC notes (in the octave
// its music is written in), whether its first-written course is the banjo's
// short fifth string, its sound, and what the title line calls it.
struct NamedInstrument {
  std::string_view word;   // as typed, upper-cased: "BANJO"
  std::string_view notes;  // "gDGBd"
  bool shortFifth;
  Sound sound;
  std::string_view player;  // as messages name it: "the 5-string banjo"
  std::string_view title;   // as the line under the tune's title names it: "5-string banjo, open G (gDGBD)"
};
// The instrument named `word` (upper-cased), if kry knows it.
const NamedInstrument* namedInstrument(std::string_view word);

// The highest fret the hand's positions reach with option pos; without it, the tenth.
inline constexpr int kHandReach = 15;

// What `note` needs besides the note itself; fixed for a whole run.
struct Instrument {
  int transposition = 0;     // half steps, positive upwards
  int octaves = 0;           // octave=N: the tab plays every note N octaves higher, -2..2
  bool mandolin = false;     // four courses instead of six
  bool bOnThirdString = false;  // the B of the open second string at fret 4 of course 3
  std::optional<Tuning> tuning;  // another tuning than the instrument's standard one
  int capo = 0;              // the fret a capo is clamped at: every course sounds so many half steps higher
  int reach = 10;            // the highest fret played
  std::string name;          // a named instrument's, for messages: "the 5-string banjo"
  std::optional<Sound> sound;  // a named instrument's; else by its courses

  const Tuning& courses() const { return tuning ? *tuning : mandolin ? kStandardMandolin : kStandardGuitar; }
  // The half steps the tab plays above the written melody.
  int shift() const { return transposition + 12 * octaves; }
  bool operator==(const Instrument&) const = default;
};

// Where a note is played: its course (1 the highest) and fret; course 0 when
// it lies below every course (a mandolin note under its G), which the tab
// shows as an invisible rest.
struct Spot {
  int course = 0;
  int fret = 0;
};

// The sharps (1) or flats (-1) the key signature of each key index puts on
// the letters A to G: the sharps come in the order F C G D A E B, the flats
// in the order B E A D G C F; the key with k sharps (index k) or k flats
// (index 7 + k) has the first k of them.
inline constexpr auto kKeyAccidentals = [] {
  constexpr std::string_view kSharps = "FCGDAEB", kFlats = "BEADGCF";
  std::array<std::array<int, 7>, 15> table{};
  for (std::size_t k = 1; k <= 7; ++k) {
    for (std::size_t n = 0; n < k; ++n) {
      table[k][static_cast<std::size_t>(kSharps[n] - 'A')] = 1;
      table[k + 7][static_cast<std::size_t>(kFlats[n] - 'A')] = -1;
    }
  }
  return table;
}();
constexpr int keyAccidental(int keyIndex, char letter) {
  if (keyIndex < 1 || keyIndex > 14) return 0;
  return kKeyAccidentals[static_cast<std::size_t>(keyIndex)][static_cast<std::size_t>((letter | 0x20) - 'a')];
}

// The pitch of a note (1 = "E,", the E below middle C; one a half
// step), in any octave: its letter, its octave marks (each "'" an octave up,
// each "," one down), and its own or its carried accidental, or, with none
// (blank), the key signature's. Nothing for a letter that is no note.
constexpr std::optional<int> notePitch(int keyIndex, char accidental, std::string_view written) {
  constexpr std::array<int, 7> kFromA = {18, 20, 9, 11, 13, 14, 16};  // A B C D E F G, the octave from C
  char letter = written[0];
  if (!isNoteLetter(letter)) return std::nullopt;
  int pitch = letter <= 'G' ? kFromA[static_cast<std::size_t>(letter - 'A')] : kFromA[static_cast<std::size_t>(letter - 'a')] + 12;
  for (char mark : written.substr(1)) pitch += mark == '\'' ? 12 : -12;
  switch (accidental) {
    case '^': return pitch + 1;
    case '_': return pitch - 1;
    case kDoubleSharp: return pitch + 2;
    case kDoubleFlat: return pitch - 2;
    case '=': return pitch;
    default: return pitch + keyAccidental(keyIndex, letter);
  }
}

// The key signature's part of a note, as the not-available message shows it:
// the note text (an accidental, a letter, octave marks) as the key of
// `keyIndex` spells it; a text with an accidental of its own stays as it is.
std::string keySpelling(int keyIndex, const std::string& noteText);

// How a single note shows in the tab line: the commas of the courses above
// and the fret letter, or "x" for course 0.
struct Place {
  int pitch = 0;  // the pitch it sounds at, the transposition added
  Spot spot;
  unsigned char size = 0;
  std::array<char, 6> text{};
  std::string_view shown() const { return {text.data(), size}; }
};

// Where the notes a run can play lie on its fingerboard, after the
// transposition: the course layout as a table, made once.
class Fretboard {
 public:
  explicit Fretboard(const Instrument& board);
  const Instrument& instrument() const { return instrument_; }
  // The pitches, transposition added, that have a place: from the E of the
  // guitar's sixth string (or a low tuning's lowest open note) up to d', no
  // higher than the top course's tenth fret.
  int lowest() const { return lowest_; }
  int highest() const { return lowest_ + static_cast<int>(places_.size()) - 1; }
  // Where a pitch from lowest() to highest() is played: on the course that
  // plays it at the lowest fret (an open course first, re-entrant or short),
  // of two alike the one nearer the top of the tab.
  const Place& at(int pitch) const { return places_[static_cast<std::size_t>(pitch - lowest_)]; }
  // The number of courses, and the pitch each sounds at open (a capo counted in).
  int courses() const { return instrument_.courses().courses; }
  int open(int course) const;
  // The fret at which `course` plays `pitch`, within its reach; nothing when it can't.
  std::optional<int> fretOn(int course, int pitch) const;
  // Where a plain note, its letter with no accidental and no octave mark,
  // is played in the key `keyIndex`: most notes of a tune are such, and
  // each is looked up once. Nothing when it has no place.
  const Place* plain(int keyIndex, char letter) const {
    std::size_t k = keyIndex >= 1 && keyIndex <= 14 ? static_cast<std::size_t>(keyIndex) : 0;
    return plain_[k][plainSlot(letter)];
  }

 private:
  Spot lowestFret(int pitch) const;
  // A note letter's place among A..G a..g.
  static std::size_t plainSlot(char letter) {
    return static_cast<std::size_t>(letter >= 'a' ? letter - 'a' + 7 : letter - 'A');
  }

  Instrument instrument_;
  int lowest_;
  std::vector<Place> places_;
  std::array<std::array<const Place*, 14>, 15> plain_{};  // by key index, then A..G a..g
};

// The stop for a note with no place. It says the not-available line, with
// the pitch the note sounds at (0 for a letter that is no note) and the
// note as the key spells it; both stay with it for the line in words that
// the conversion adds (reachAdvice).
class NoteUnavailable : public Stop {
 public:
  NoteUnavailable(int sum, std::string text);
  int sum;
  std::string text;
};
[[noreturn]] void unavailable(int keyIndex, char accidental, std::string_view written, int sum);

// The line in words after the not-available line: the note, how far it lies
// outside the compass of the instrument in its tuning, that compass, and what
// helps: a transposition, option pos, or (unless the tune is `skipping`, left
// out anyway) option skip.
std::string reachAdvice(const Fretboard& board, int sum, const std::string& text, bool skipping);

// A pitch as an ABC note, sharps for the black keys: 1 is "E,", 35 "d'".
std::string noteName(int pitch);

// note: where a note is played on `board`, after the key signature of
// `keyIndex` and the transposition: its own or its carried accidental (blank
// for none), then as written its letter and octave marks, sounding `octaves`
// higher (octave=) and `halfSteps` higher (transpose=). A note with no place
// stops the run (unavailable).
inline const Place& note(int keyIndex, char accidental, std::string_view written, const Fretboard& board, int octaves = 0,
                         int halfSteps = 0) {
  std::optional<int> pitch = notePitch(keyIndex, accidental, written);
  int sum = pitch ? *pitch + board.instrument().shift() + 12 * octaves + halfSteps : 0;  // a letter that is no note sounds nowhere
  if (!pitch || sum < board.lowest() || sum > board.highest()) unavailable(keyIndex, accidental, written, sum);
  return board.at(sum);
}

}  // namespace kry
