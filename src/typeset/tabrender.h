// A tab-voice line ("[V:G] ...") turned into what abcm2ps draws: invisible
// chords pitched on the course lines, whose decorations print the fret
// numbers and, where the tune asks for them, rhythm flags; bar lines,
// tuplets and the fields the tab voice keeps time by go through.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "typeset/tabevent.h"

namespace kry::typeset {

struct TabLine {
  std::string dropped;       // what was left out, as written; empty when nothing
  std::string events;        // the line for abcm2ps without its voice and tuplet settings (tabText adds them)
  bool tuplets = false;      // the line holds a tuplet
  std::set<std::string> numbered;  // the flags with a tuplet's number drawn ("kq8t3")
};

// Reads one tab line; its time is left in state.clock.time.
TabLine tabLine(std::string_view body, TabState& state);

// The head of a tab line holding a tuplet: the voice, and tuplets drawn
// without a bracket.
extern const std::string kTupletsOff;

// The tab line for abcm2ps from the events of one or more joined lines.
std::string tabText(const std::string& events, bool tuplets);

}  // namespace kry::typeset
