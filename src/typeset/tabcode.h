// The musical tables of our typesetter: fret letters, the two course layouts
// as abcm2ps sees them on the tab staff, and note values for rhythm flags.
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

// A duration in units of the tune's L: field, kept as an exact fraction.
struct Length {
  long num = 1;
  long den = 1;
};

Length reduced(Length l);               // reduce to lowest terms
Length product(Length a, Length b);     // product of two lengths
Length sum(Length a, Length b);         // sum of two lengths
Length difference(Length a, Length b);  // a - b, negative when b is longer
bool sameLength(Length a, Length b);    // equal as fractions
std::string lengthText(Length l);       // ABC text: "2", "3/2", "1/4"
std::optional<Length> readLength(std::string_view text);  // "2", "3/", "/", "//", "3/2"
// How much of a run of digits and "/" abcm2ps reads as the length: digits,
// then "/" and a divisor or more "/". Of "/4/" it reads "/4".
std::size_t readablePrefix(std::string_view text);

// Reading a line of ABC, on the melody staff and the tab staff alike.
// The run of digits and "/" at i, moving i past it (empty when none).
std::string_view lengthRun(std::string_view s, std::size_t& i);
// Past the numbers of repeat endings at i ("1", "1,2", "1-3"): they belong
// to the melody staff. A comma before a course is no list.
std::size_t endings(std::string_view s, std::size_t i);
// A field line, or an inline field after its "[": a letter and ":".
bool isFieldLine(std::string_view line);
// Without leading and trailing blanks and tabs.
std::string_view trim(std::string_view s);

// The fret for a letter of a tab event ("a" open ... "i" 8, "k" 9, "l" 10).
std::optional<int> fretNumber(char letter);
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
