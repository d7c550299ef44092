// Music lines of the melody staff as abcm2ps reads them, and music for a
// staff that has no line of its own.
#pragma once

#include <string>
#include <string_view>

#include "typeset/clock.h"
#include "typeset/tabcode.h"

namespace kry::typeset {

// The music of a melody line, its comment left out; "\" is at its end when
// the line goes on on the next one.
std::string_view music(std::string_view body);

// A melody line as abcm2ps reads it: an ABC 1.6 chord in "+" ("+GB+",
// "+E3 c3 +"), which abcm2ps would take for a decoration, goes in brackets
// with its blanks left out ("[GB]", "[E3c3]"). Chord symbols, annotations,
// other decorations and a comment stay as they are.
std::string bracketChords(std::string_view s, const Symbols& symbols);

// Music that takes `time` and shows nothing: invisible rests of whole notes
// and halves, quarters... down to what is left, written in `unit`s; when
// the time is no sum of them (a line that ends inside a triplet), squeezed
// into a tuplet whose bracket is not drawn. A zero-width spacer ends it:
// abcm2ps runs a line of one long rest on into the next.
std::string silence(Length time, Length unit);

}  // namespace kry::typeset
