// The tune file line by line into abcm2ps input, each line to its voice:
// the melody voice goes through as written (transposed by abcm2ps when
// asked), but for its ABC 1.6 chords in "+", which go in brackets; every
// tab-voice line becomes the tab staff's music. Field lines of the tune
// body reach the voices ABC means them for, continued lines are joined
// voice by voice, and every melody line is checked against its tab line for
// time; a line with no partner gets an empty staff, and a music line abcm2ps
// found too wide is broken at a bar line both staves share.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "typeset/diagrams.h"
#include "typeset/translate.h"

namespace kry::typeset {

// The body of the abcm2ps input, and what the page's set-up needs of it.
struct Routed {
  std::vector<std::string> body;   // the lines, after the prolog
  std::vector<Origin> origin;      // per line of the body
  std::set<std::string> numbered;  // the flags with a tuplet's number, for the prolog
  std::vector<Drawing> drawings;   // the chord diagrams of the tunes
};

// Routes the lines of the tune file; the warnings, titles and the book's
// title go into `out`.
Routed routeVoices(const std::vector<std::string_view>& lines, const Settings& settings, Translation& out);

}  // namespace kry::typeset
