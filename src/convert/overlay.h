// A bar with a voice overlay ("&") holds two layers (or more) of notes on
// one staff; a player plays them all. The tab of such a bar merges the
// layers by when each note starts in the bar: notes that start together
// are one event, a chord; a note that starts while another layer's note is
// held is an event of its own. Where every layer rests, the tab rests.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "base/abc.h"
#include "convert/pitch.h"

namespace kry {

// A note of a layer: where it is played alone, and as written.
struct LayerNote {
  const Place* place;
  std::string_view written;
};

// One note, chord or rest of a layer, in the order written; its length in
// unit lengths.
struct LayerItem {
  Length length;
  std::vector<LayerNote> notes;  // none for a rest
  char rest = 'z';               // "z", or "x" for one that shows nothing
};

// An event of the merged bar: the notes that start at it (none for a
// rest), and how long until the next event starts, in unit lengths.
struct MergedEvent {
  Length length;
  std::vector<LayerNote> notes;
  char rest = 'z';
};

// The layers merged by onset; nothing when they do not last equally long
// (an overlay that does not fill its bar), or when a layer is empty.
std::optional<std::vector<MergedEvent>> mergeLayers(const std::vector<std::vector<LayerItem>>& layers);

// A length in unit lengths as the tab writes it after a fret letter: "2",
// "/2", "3/2"; "1" for one unit.
std::string lengthWritten(Length length);

}  // namespace kry
