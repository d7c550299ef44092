// Chord shapes: where the fingers go for a chord on a fretted instrument, as
// a chord diagram shows it. For the usual tunings of the guitar, the
// mandolin, the ukulele and the 5-string banjo the shapes players know come
// from tables laid out as players draw them; for any other tuning, and for a
// chord the tables lack, a shape is computed. Pure: an instrument describes
// itself as a list of strings, in any order of pitch (re-entrant tunings and
// the banjo's short fifth string included).
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "convert/chords.h"

namespace kry {

// One string (or course) as a chord diagram draws it: the note it sounds
// open, as a MIDI note number (middle C is 60; only the pitch class and the
// distances between strings matter), and the fret its nut stands at: 0 for a
// string as long as the neck, 5 for the banjo's fifth string, whose frets are
// counted from the main nut (6, 7, ...), with no fret 1 to 5 on it.
struct ChordString {
  int open = 0;
  int nut = 0;
  bool operator==(const ChordString&) const = default;
};

// A shape: for each string, left to right as the diagram draws them, the fret
// stopped, counted from the nut (or the capo); 0 open; -1 not played.
using Shape = std::vector<int>;
inline constexpr int kMuted = -1;

// shape: how to play `chord` on `strings`: the shape players know for it in
// the instrument's usual tuning, else one computed. Nothing when no shape
// within four frets sounds every note the chord needs.
std::optional<Shape> shape(const Chord& chord, std::span<const ChordString> strings);

// voice: the computed shape: every chord tone (the perfect fifth may go when
// the strings are too few), the bass note lowest where it can be, the stopped
// frets within four, the lowest position, open strings welcome, a string that
// can take no chord tone not played, and no more than four fingers (a
// barre at the lowest fret counts as one).
std::optional<Shape> voice(const Chord& chord, std::span<const ChordString> strings);

// The notes a shape sounds, as MIDI note numbers, lowest string first; a
// string not played sounds none.
std::vector<int> sounding(const Shape& frets, std::span<const ChordString> strings);

// ---- the tables, for the reader and the tests ----
struct ShapeRow {
  std::string_view chord;  // its symbol: "G", "Am", "D7"
  std::string_view frets;  // left to right, as players write it: "x 3 2 0 1 0"
};
struct ShapeTable {
  std::string_view instrument;  // "guitar"
  std::string_view tuning;      // "E2 A2 D3 G3 B3 E4": the strings left to right; "G4@5" one whose nut is at fret 5
  std::span<const ShapeRow> open;     // each for its chord at its place on the neck
  std::span<const ShapeRow> movable;  // no open string: moved up the neck to any root, the lowest place taken
};
std::span<const ShapeTable> shapeTables();

// The strings of a tuning written as note names with octave numbers, left to
// right ("E2 A2 D3 G3 B3 E4", "G4@5 D3 G3 B3 D4"); nothing when it is none.
std::optional<std::vector<ChordString>> readStrings(std::string_view notes);
// A shape written as players write it, "x 3 2 0 1 0"; nothing when it is none.
std::optional<Shape> readShape(std::string_view frets);

}  // namespace kry
