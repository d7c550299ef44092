// Where a music line that abcm2ps found too wide for one system is broken:
// at the same bar line in both staves.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kry::typeset {

// A break of a group's lines: the end of its bar line in the melody and in
// the tab events.
struct Cut {
  std::size_t melody, tab;
};

// The cuts that break a group's lines into `systems` systems with about
// as many events each: at bar lines the two staves have alike, not the last
// and not one an ending's number follows. None when the staves' bar lines
// don't match, or there are too few.
std::vector<Cut> cutsFor(std::string_view m, std::string_view t, int systems);

}  // namespace kry::typeset
