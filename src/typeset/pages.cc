#include "typeset/pages.h"

namespace kry::typeset {

void SystemScan::line(std::string_view text) {
  if (text.starts_with("%%Page: ")) {
    systems_.push_back(0);
  } else if (systems_.empty()) {
    return;  // the prolog: the procedures are defined, not called
  } else if (text.starts_with("% --- xref ")) {
    // abcm2ps marks where a tune starts.
    tunes_.push_back({systems_.size() - 1, systems_.size() - 1, 0, 0});
  } else if (text.ends_with(" pclef") && !tunes_.empty()) {
    // The TAB mark starts each system's tab staff.
    Tune& tune = tunes_.back();
    if (tune.last != systems_.size() - 1) tune.last = systems_.size() - 1, tune.onLast = 0;
    ++tune.onLast;
    ++tune.systems;
    ++systems_.back();
  }
}

std::vector<SystemScan::Alone> SystemScan::alone() const {
  std::vector<Alone> found;
  for (std::size_t k = 0; k < tunes_.size(); ++k) {
    const Tune& t = tunes_[k];
    if (t.last > t.first && t.onLast == 1 && systems_[t.last] == 1) found.push_back({static_cast<int>(k) + 1, t.systems});
  }
  return found;
}

}  // namespace kry::typeset
