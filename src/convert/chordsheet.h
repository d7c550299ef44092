// The chords a tune uses, gathered from the chord symbols of its music lines
// in order of first use, and at the tune's end the diagrams for them on the
// run's instrument: the directive lines abctab2ps draws under the title
// (base/chordline.h), and the symbols that get no diagram.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/chords.h"
#include "convert/pitch.h"
#include "convert/shapes.h"

namespace kry {

// The courses of an instrument as a chord diagram draws them, left to right:
// the lowest course (the last) first; open notes without the capo.
std::vector<ChordString> diagramStrings(const Instrument& instrument);

class ChordSheet {
 public:
  explicit ChordSheet(const Instrument& instrument);

  // Reads the chord symbols of one music line.
  void line(std::string_view music);

  struct Drawn {
    std::vector<std::string> lines;    // one directive line a chord
    std::vector<std::string> missing;  // the symbols that get no diagram, as written
  };
  // The tune's diagrams; the sheet then starts afresh for the next tune.
  Drawn finish();
  // Forgets the tune's chords (a tune left out).
  void clear();

 private:
  std::vector<ChordString> strings_;
  int transposition_;
  int capo_;
  std::vector<Chord> chords_;
  std::vector<std::string> unknown_;
  std::map<std::string, std::optional<Shape>> shapes_;  // by the notes of the shape behind the capo, for the whole run
};

}  // namespace kry
