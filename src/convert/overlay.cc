#include "convert/overlay.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace kry {
namespace {

Length reduce(Length l) {
  long g = std::gcd(l.num, l.den);
  return g == 0 ? l : Length{l.num / g, l.den / g};
}
Length plus(Length a, Length b) { return reduce({a.num * b.den + b.num * a.den, a.den * b.den}); }
Length minus(Length a, Length b) { return plus(a, {-b.num, b.den}); }
bool before(Length a, Length b) { return a.num * b.den < b.num * a.den; }
bool same(Length a, Length b) { return a.num * b.den == b.num * a.den; }

// Lengths a bar's layers can be merged by: an item's no longer than 4096
// units or shorter than a 4096th, and their sums kept where the sums and
// comparisons above can't overflow. A layer beyond them is not merged.
bool fits(Length item) { return item.den > 0 && item.den <= 4096 && item.num >= 0 && item.num <= 4096; }
bool fitsSum(Length sum) { return sum.den > 0 && sum.den <= (1L << 24) && sum.num <= (1L << 30); }

// Where an item of a layer starts and ends in the bar.
struct Placed {
  Length onset, end;
  const LayerItem* item;
};

}  // namespace

std::optional<std::vector<MergedEvent>> mergeLayers(const std::vector<std::vector<LayerItem>>& layers) {
  std::vector<Placed> placed;
  std::optional<Length> total;
  for (const std::vector<LayerItem>& layer : layers) {
    if (layer.empty()) return std::nullopt;
    Length at{0, 1};
    for (const LayerItem& item : layer) {
      if (!fits(item.length)) return std::nullopt;
      Length end = plus(at, item.length);
      if (!fitsSum(end)) return std::nullopt;
      placed.push_back({at, end, &item});
      at = end;
    }
    if (total && !same(*total, at)) return std::nullopt;
    total = at;
  }
  // The times at which an event starts: a note starts, or a rest starts
  // while no layer's note sounds.
  auto sounding = [&](Length t) {
    return std::ranges::any_of(placed, [&](const Placed& p) {
      return !p.item->notes.empty() && !before(t, p.onset) && before(t, p.end);
    });
  };
  std::vector<MergedEvent> events;
  std::vector<Length> onsets;
  for (const Placed& p : placed)
    if (!p.item->notes.empty() || !sounding(p.onset)) onsets.push_back(p.onset);
  std::ranges::sort(onsets, before);
  auto last = std::unique(onsets.begin(), onsets.end(), same);
  onsets.erase(last, onsets.end());
  for (std::size_t k = 0; k < onsets.size(); ++k) {
    MergedEvent event;
    event.length = minus(k + 1 < onsets.size() ? onsets[k + 1] : *total, onsets[k]);
    event.rest = 'x';
    for (const Placed& p : placed) {
      if (!same(p.onset, onsets[k])) continue;
      for (const LayerNote& note : p.item->notes)  // the same note in two layers is played once
        if (std::ranges::none_of(event.notes, [&](const LayerNote& n) { return n.place->pitch == note.place->pitch; }))
          event.notes.push_back(note);
      if (p.item->notes.empty() && p.item->rest == 'z') event.rest = 'z';
    }
    events.push_back(std::move(event));
  }
  return events;
}

std::string lengthWritten(Length length) {
  length = reduce(length);
  if (length.den == 1) return std::to_string(length.num);
  return (length.num == 1 ? "" : std::to_string(length.num)) + "/" + std::to_string(length.den);
}

}  // namespace kry
