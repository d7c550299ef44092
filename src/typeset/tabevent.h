// One event of the tab staff as a player reads it: the rhythm flag over it,
// the frets a tie holds from the event before, and the invisible chord (or
// rest) whose note heads print its frets. The running state of a tune's tab
// voice lives here too, since flags and ties depend on what came before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "typeset/clock.h"
#include "typeset/tabcode.h"
#include "typeset/tabline.h"

namespace kry::typeset {

// What one tab-voice line becomes, given the tune's running state.
struct TabState {
  const Layout* layout = &guitar();
  bool flags = true;                 // "%%tabrhstyle modern"
  Length last{1, 1};                 // the length an event without one takes
  std::optional<Length> pending;     // broken rhythm at the end of a line, for the next event
  std::optional<Length> heard;       // how long the last event shown sounds, in whole notes
  std::vector<int> held;             // per course, the fret a tie holds into the next event; -1 for none
  Clock clock;                       // the unit length, and the time of the line
  long tuplet = 0;                   // the number of the last tuplet: "(3:2" is 3
  bool opening = false;              // the next event is a tuplet's first, maybe on the next line
};

// One piece of the translated line; events are written out last, once
// broken rhythm has had its say.
struct TabPiece {
  bool event = false;
  std::string text;           // bars, tuplets, fields
  std::vector<int> frets;
  std::uint64_t held = 0;     // a bit a course, course 1 lowest: the fret is held from a tie, not picked
  bool rest = false;
  bool hidden = false;        // a rest that shows nothing
  Length length;
  Length unit;                // the unit length in force
  bool opens = false;         // the line's first event, with a length written: kry's option f
  bool slurStart = false, slurEnd = false;  // a slur begins at it, ends after it
};

// The rhythm flag over an event, as the name of its decoration; empty for
// none. A player reads the tab by ear: an event without a flag lasts as
// long as the one shown before it, so a flag stands wherever that changes,
// broken rhythm and tuplets counted. A rest always shows its sign, since
// nothing else on the tab staff marks it, and with kry's option f a line's
// first event shows its flag too. The first event of a tuplet shows the
// written value with the tuplet's number beside it, as a beam carries it
// once a group, whether the length changes or not: `tuplet` is the number
// there, 0 elsewhere. Without flags ("%%tabrhstyle none") the number
// stands alone ("kt3").
std::string flag(const TabPiece& p, Length heard, long tuplet, TabState& st);

// A tie holds a fret into the next event: there the same fret on the same
// course is held, not picked again, and drawn in parentheses.
void hold(TabPiece& p, const TabItem& item, TabState& st);

// Writes an event after `out`: its flag, and an invisible chord whose heads
// print the frets, or an invisible rest when no course plays.
void eventText(const TabPiece& p, const std::string& flag, const Layout& lay, std::string& out);

}  // namespace kry::typeset
