// Reading one tab-voice line ("[V:G] ...") into the items a guitarist sees:
// events (one fret letter or comma per course, from course 1 down), rests,
// bar lines, tuplets, broken rhythm, the unit length and meter fields kry
// copies from the melody, and what we could not make sense of.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "typeset/tabcode.h"

namespace kry::typeset {

enum class Item {
  kEvent,     // frets on courses, possibly none (a note with no course)
  kRest,      // "z", or "x": a rest that shows nothing
  kBar,       // bar lines and repeat signs, as written
  kTuplet,    // "(3", "(3:2:3"
  kBroken,    // ">", "<<", ...
  kField,     // "[L:1/16]", "[M:2/4]"
  kContinue,  // a "\" that ends the line
  kUnknown,   // anything else; left out of the tab staff
};

struct TabItem {
  Item kind = Item::kUnknown;
  std::string text;                 // bar, tuplet, broken signs, field or unknown text
  std::vector<int> frets;           // index 0 is course 1; -1 for not played
  std::vector<bool> tied;           // per course: tied ("-") to the next event, held and not picked again
  std::optional<Length> length;     // the length written with the event
  std::optional<Length> times;      // a length written after a chord's "]"
  std::string badLength;            // a length written with the event that can't be read
  bool chord = false;
  bool hidden = false;              // a rest "x"
  bool slurStart = false;           // a slur "(" begins at this event
  bool slurEnd = false;             // a slur ")" ends after it
};

// Scans the part of a tab-voice line after its "[V:G]" prefix.
std::vector<TabItem> scanTab(std::string_view body);

}  // namespace kry::typeset
