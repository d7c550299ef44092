// The music line scanner: reads one music line note by note and builds the
// line of the tablature voice, fret letters on their courses, note lengths
// where they change, bar lines and the other characters copied.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/abc.h"
#include "convert/accidentals.h"
#include "convert/fingering.h"
#include "convert/pitch.h"

namespace kry {

// What the conversion keeps from line to line.
struct TuneState {
  std::string keyCode;        // empty until the tune's first K: field
  int keyIndex = 0;           // sharps, or seven plus flats; kept across tunes
  int octave = 0;             // octave= of a K: or V: field: the notes sound so many octaves higher, this tune
  int transpose = 0;          // transpose= of a K: or V: field: the notes sound so many half steps higher, this tune
  std::string lastLength;     // the length last written into the tab voice, this tune
  AccidentalTable accidentals;  // cleared at every bar line the scanner sees
  // The notes tied to the next note or chord: their letters and octave marks, and the
  // accidentals they sound with, which the tied notes keep past a bar line.
  std::vector<std::pair<std::string, char>> tied;
  bool overlay = false;       // a voice overlay ("&") goes on to the next line, up to its bar line
  Symbols symbols;            // the letters and decorations of U: fields, the file's and this tune's
};

// What a line's tab leaves out of its melody, for the run to say.
// A piece of the music line to write otherwise for the melody to sound as
// the tab plays it: from `from` up to `to`, the text `with`.
struct Silenced {
  std::size_t from = 0, to = 0;
  std::string with;
};
struct LeftOut {
  std::vector<LeftOutNote> chordNotes;  // as written, and why no course took them
  int belowLowest = 0;                  // notes below the lowest course, shown as "x" or not at all
  int overlaid = 0;                     // voice overlays, whose notes the tab leaves to the melody staff
  // The notes below the lowest course as rests, the chord notes among them
  // left out: the music line as the tab plays it, in order along the line.
  std::vector<Silenced> silenced;
};

// The music line with the pieces `silenced` written otherwise.
std::string asPlayed(std::string_view line, const std::vector<Silenced>& silenced);

// Scans the music line `line` (no leading or trailing blanks) into the
// tab-voice line's text after its "[V:G] " prefix, written in `room` (kept
// from line to line). Raises a Stop for a bad accidental, an incomplete chord
// or a note with no place on the instrument.
// With `fingering` (option pos), each note and chord is written down for the
// whole tune to be placed, or takes the place it was given.
std::string_view scanLine(std::string_view line, TuneState& state, const Fretboard& board, std::string& room,
                          LeftOut& leftOut, TuneFingering* fingering = nullptr);

}  // namespace kry
