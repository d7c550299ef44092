// The chord diagrams kry asks abctab2ps to draw under a tune's title. kry
// knows the instrument, so it works out each shape and writes it into the
// converted tune, after the tune's header block, one directive line a chord:
//
//   %%tabchord NAME STRING STRING ...
//
// NAME is the chord as the diagram is titled ("G/B"); each STRING, left to
// right as the diagram draws the strings, is the fret stopped on it counted
// from the nut (or from the capo), "0" open or "x" not played, and for a
// string whose nut stands up the neck (the banjo's short fifth string) "@"
// and the fret of that nut: "0@5" open, "7@5" stopped at the seventh fret.
//
//   %%tabchord G/B x 2 0 0 0 3
//   %%tabchord C 0@5 2 0 1 2
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kry {

inline constexpr std::string_view kChordDirective = "%%tabchord";

// One string of a diagram: the fret stopped (-1 not played, 0 open) and the
// fret its nut stands at (0 for a string as long as the neck).
struct DiagramString {
  int fret = 0;
  int nut = 0;
  bool operator==(const DiagramString&) const = default;
};

struct ChordDiagram {
  std::string name;
  std::vector<DiagramString> strings;
  bool operator==(const ChordDiagram&) const = default;
};

// The directive line for a diagram.
std::string chordLine(const ChordDiagram& diagram);
// The diagram a directive line asks for; nothing when the line is none, or
// holds a name with no strings, a fret or nut that can't be read, or more
// than six strings.
std::optional<ChordDiagram> readChordLine(std::string_view line);

}  // namespace kry
