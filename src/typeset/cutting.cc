#include "typeset/cutting.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/reader.h"
#include "base/text.h"
#include "typeset/clock.h"

namespace kry::typeset {

namespace {

// A bar line that ends a bar: any with a "|", or "::"; a lone ":" is none.
bool isBarLine(const Item& item) {
  return item.kind == ItemKind::kBar && (item.text.find('|') != std::string_view::npos || item.text == "::");
}

// The bar lines of a melody line: where each ends, and whether the number
// of an ending follows it ("|1"), which can't start a line. Chord symbols,
// decorations, grace notes, chords, inline fields and tuplets hold none;
// a comment ends the music.
struct Bar {
  std::size_t end;
  bool numbered;
};
std::vector<Bar> melodyBars(std::string_view m) {
  std::vector<Bar> bars;
  MusicLine items(m, Symbols{});
  for (Item item; items.next(item) && item.kind != ItemKind::kComment;) {
    if (!isBarLine(item)) continue;
    const std::size_t end = item.column + item.text.size();
    bars.push_back({end, end < m.size() && isDigit(m[end])});
  }
  return bars;
}

}  // namespace

std::vector<Cut> cutsFor(std::string_view m, std::string_view t, int systems) {
  if (systems < 2) return {};
  const std::vector<Bar> bars = melodyBars(m);
  std::vector<std::size_t> tabBars;  // where each bar line of the tab ends
  std::vector<int> before;           // the events before it
  int events = 0;
  MusicLine items(t, Symbols{});
  for (Item item; items.next(item);) {
    if (isBarLine(item)) {
      tabBars.push_back(item.column + item.text.size());
      before.push_back(events);
    } else if (item.kind == ItemKind::kChord || item.kind == ItemKind::kRest || item.kind == ItemKind::kNote) {
      ++events;
    }
  }
  if (bars.size() != tabBars.size()) return {};
  std::vector<Cut> cuts;
  std::size_t k = 0;
  for (int piece = 1; piece < systems; ++piece) {
    const int target = events * piece / systems;
    std::optional<std::size_t> best;
    for (; k < bars.size(); ++k) {
      if (bars[k].numbered || before[k] == 0 || before[k] >= events) continue;
      if (best && std::abs(before[k] - target) > std::abs(before[*best] - target)) break;
      best = k;
    }
    if (!best) break;
    cuts.push_back({bars[*best].end, tabBars[*best]});
    k = *best + 1;
  }
  return cuts;
}

}  // namespace kry::typeset
