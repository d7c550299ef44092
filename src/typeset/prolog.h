// The text put before the tunes in abcm2ps's input: paper, scale, and the
// PostScript that draws the tab staff's fret numbers, rhythm flags and
// "TAB" mark, with the decorations that call it.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kry::typeset {

struct Page {
  bool letter = false;       // letter paper; A4 otherwise
  std::string height;        // a page height given in the tune, as written
  std::string bottomMargin;  // as written, empty when none
  double staffsep = 46;      // the smallest space between systems of any tune, in points of the music
  bool wordsAfter = false;   // a tune prints words (W:) under its last system
  double scale = 1.0;        // the -s factor; 1 is abcm2ps's usual size
  std::set<std::string> numbered;  // rhythm flags drawn with a tuplet's number: "kq8t3"
};

std::string prolog(const Page& page);

// The width of a line of music, between abcm2ps's margins, in the music's
// units: what a figure placed with %%EPS may fill.
double musicWidth(const Page& page);

// A length as abcm2ps reads it in a format line, in points: "2cm", "0.5in",
// "46pt", "46"; nothing for one it does not read.
std::optional<double> points(std::string_view length);

}  // namespace kry::typeset
