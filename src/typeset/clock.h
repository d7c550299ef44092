// Counting time as ABC does, so that the tab staff can be checked against
// the melody bar by bar: a note, rest or chord lasts its length times the
// unit note length (L:), broken rhythm moves time from one note to the next,
// a tuplet squeezes its notes, grace notes take none.
#pragma once

#include <optional>
#include <string_view>

#include "typeset/tabcode.h"

namespace kry::typeset {

// The time one voice has gone through, and what it carries from a line to
// the next: broken rhythm waiting for its second note, a tuplet under way.
struct Clock {
  Length unit{1, 8};            // L:, as a fraction of a whole note
  bool compound = false;        // 6/8, 9/8, 12/8: tuplets of 5, 7 and 9 go in the time of 3
  Length bar{1, 1};             // one bar of the meter, for a whole-bar rest
  Length time{0, 1};            // counted since it was last set to 0, in whole notes
  Length last{0, 1};            // what the last note counted
  std::optional<Length> next;   // broken rhythm: what the next note is multiplied by
  long left = 0;                // notes still in a tuplet
  Length squeeze{1, 1};         // what the tuplet does to each of them
  bool overlay = false;         // a voice overlay ("&") goes on past the line, to its bar line
};

// Broken rhythm: what the signs do to the note before them and after them.
struct Broken {
  Length before, after;
};
std::optional<Broken> broken(std::string_view signs);  // ">", "<<", ...

void tick(Clock& c, Length length);            // one note, rest or chord of `length` units
bool broke(Clock& c, std::string_view signs);  // broken rhythm after the last note; false when it can't be
void tuplet(Clock& c, std::string_view text);  // "(3", "(3:2", "(5::2", "(3:2:4"
void meter(Clock& c, std::string_view value);  // an M: field's value: "6/8", "C|"

// A field's value without a trailing comment and blanks: "1/4 % quarter" is "1/4".
std::string_view fieldValue(std::string_view value);

// The time of a melody line (what follows "[V:M]"), added to c.time; the
// tune's U: fields tell its decorations.
void melodyTime(std::string_view line, Clock& c, const Symbols& symbols = Symbols{});

}  // namespace kry::typeset
