#include "typeset/tabevent.h"

#include <algorithm>

namespace kry::typeset {

std::string flag(const TabPiece& p, Length heard, long tuplet, TabState& st) {
  if (p.hidden) return "";  // shows nothing: the player goes by the event before
  const bool changed = !st.heard || !sameLength(*st.heard, heard);
  st.heard = heard;
  if (!st.flags) return tuplet > 0 ? "kt" + std::to_string(tuplet) : "";
  if (!(changed || p.rest || p.opens || tuplet > 0)) return "";
  const auto kind = flagKind(p.length, p.unit);
  if (!kind) return "";
  return std::string("k") + (p.rest ? "r" : "q") + *kind + (tuplet > 0 ? "t" + std::to_string(tuplet) : "");
}

void hold(TabPiece& p, const TabItem& item, TabState& st) {
  for (std::size_t k = 0; k < p.frets.size() && k < st.held.size() && k < 64; ++k) {
    if (p.frets[k] >= 0 && st.held[k] == p.frets[k]) p.held |= std::uint64_t{1} << k;
  }
  st.held.assign(p.frets.size(), -1);
  for (std::size_t k = 0; k < p.frets.size() && k < item.tied.size(); ++k) {
    if (item.tied[k]) st.held[k] = p.frets[k];
  }
}

void eventText(const TabPiece& p, const std::string& flag, const Layout& lay, std::string& out) {
  if (!flag.empty()) out.append("!").append(flag).append("!");
  const std::size_t courses = std::min(p.frets.size(), static_cast<std::size_t>(lay.courses));
  const bool played = std::any_of(p.frets.begin(), p.frets.begin() + static_cast<long>(courses), [](int f) { return f >= 0; });
  if (!played) {
    out += "x";
  } else {
    // Two digits are wider than the head abcm2ps spaces the notes by: an
    // annotation of two blanks left of the chord is room it keeps free, so
    // that frets 10 to 15 stand clear of the fret before them.
    if (std::any_of(p.frets.begin(), p.frets.begin() + static_cast<long>(courses), [](int f) { return f >= 10; }))
      out += "\"<  \"";
    out += "!invisible![";
    for (std::size_t k = 0; k < courses; ++k) {
      if (p.frets[k] < 0) continue;
      out.append(p.held >> k & 1 ? "!head-kh" : "!head-kf").append(std::to_string(p.frets[k])).append("!").append(lay.pitch[k]);
    }
    out += "]";
  }
  out += lengthText(p.length);
}

}  // namespace kry::typeset
