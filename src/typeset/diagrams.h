// Chord diagrams under a tune's title. kry writes one directive line a chord
// (base/chordline.h); the lines of a tune become one EPS figure, written
// beside the tune in abcm2ps's directory and placed with %%EPS where the
// lines stood, after the tune's header. abcm2ps sets such a figure under the
// title and the composer, at the left margin and at the music's scale, and
// starts a new page before it when it does not fit: so the diagrams stand
// under the title on every paper and at every scale, and keep their place
// when the page fills. Pure: diagrams in, PostScript text out.
#pragma once

#include <string>
#include <vector>

#include "base/chordline.h"

namespace kry::typeset {

// The diagrams of one tune, and the name of the figure that draws them.
struct Drawing {
  std::string file;  // "kchords1.eps"
  std::vector<ChordDiagram> diagrams;
};

// The EPS figure for `diagrams`: rows of diagrams, each row centred on a
// line `width` wide (in the music's units, before abcm2ps's scale).
std::string diagramsEps(const std::vector<ChordDiagram>& diagrams, double width);

// Where a diagram starts: the fret of its top row (1: the nut drawn above
// it), and how many frets it shows.
struct Frets {
  int first = 1;
  int rows = 4;
};
Frets fretsShown(const ChordDiagram& diagram);

}  // namespace kry::typeset
