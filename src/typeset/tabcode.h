// The musical tables of our typesetter: the course layouts (six, five and four lines) as abcm2ps
// sees them on the tab staff, note values for rhythm flags, and the sums of
// note lengths they need.
//
// The tab staff is an abcm2ps staff with a percussion clef whose notes are
// never shown: each course is a staff line, and a note pitched on that line
// carries a decoration that prints the fret number there instead of a head.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/abc.h"

namespace kry::typeset {

// Note lengths (kry::Length, as fractions of the tune's L:) in the sums
// that check the tab staff against the melody and pick rhythm flags.
Length reduced(Length l);               // reduce to lowest terms
Length product(Length a, Length b);     // product of two lengths
Length sum(Length a, Length b);         // sum of two lengths
Length difference(Length a, Length b);  // a - b, negative when b is longer
bool sameLength(Length a, Length b);    // equal as fractions
std::string lengthText(Length l);       // ABC text: "2", "3/2", "1/4"

bool isCourse(char c);  // a fret letter or the comma of a course not played

// One instrument's tab staff in abcm2ps terms.
struct Layout {
  std::string_view name;      // as kry names the clef: "guitartab", "spanish4tab"
  int courses;                // staff lines, course 1 on top
  std::string_view clef;      // abcm2ps clef; its line fixes the pitch of each line
  const char* const* pitch;   // pitch[0] is the note on course 1's line
};

const Layout& guitar();
const Layout& mandolin();
const Layout* layout(std::string_view clefName);  // nullptr when unknown

// The rhythm-flag kind for a duration, as a decoration suffix ("8", "4d",
// "2dd"), or nothing when the value is no plain or dotted note. The value is
// the length times the unit note length of the tune.
std::optional<std::string> flagKind(Length length, Length unit);

}  // namespace kry::typeset
