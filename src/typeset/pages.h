// The pages abcm2ps made, read back from its PostScript a line at a time:
// which tunes run onto a last page that holds a single system of theirs.
// A player turns the page for one line of music there, and a slightly
// tighter spacing of the tune's systems would keep it whole or move two.
// Pure: lines in, tune numbers out.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kry::typeset {

class SystemScan {
 public:
  void line(std::string_view text);  // the next line of the PostScript, without its LF
  // A tune, counted from 1 in the order of the book, whose last page is not
  // its first and holds one system alone; and how many systems it has.
  struct Alone {
    int tune, systems;
    bool operator==(const Alone&) const = default;
  };
  std::vector<Alone> alone() const;

 private:
  struct Tune {
    std::size_t first, last;  // the pages it starts and ends on, counted from 0
    int onLast;               // its systems on its last page
    int systems;              // all its systems
  };
  std::vector<int> systems_;  // per page: the tab staves drawn, one a system
  std::vector<Tune> tunes_;
};

}  // namespace kry::typeset
