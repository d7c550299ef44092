// The text put before the tunes in abcm2ps's input: paper, scale, and the
// PostScript that draws the tab staff's fret numbers, rhythm flags and
// "TAB" mark, with the decorations that call it.
#pragma once

#include <set>
#include <string>

namespace kry::typeset {

struct Page {
  bool letter = false;       // letter paper; A4 otherwise
  std::string height;        // a page height given in the tune, as written
  std::string bottomMargin;  // as written, empty when none
  double scale = 1.0;        // the -s factor; 1 is abcm2ps's usual size
  std::set<std::string> numbered;  // rhythm flags drawn with a tuplet's number: "kq8t3"
};

std::string prolog(const Page& page);

}  // namespace kry::typeset
