// What the fuzz targets share: a check that ends the process loudly when an
// invariant fails (libFuzzer and the replay test count it as a finding), and
// lines read the way kry reads its work files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/abc.h"

namespace kry_fuzz {

inline void check(bool ok, const char* what, std::string_view detail = "") {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n  [%s]\n", what, std::string(detail).c_str());
  std::abort();
}

// The lines of a text as kry reads its work files.
inline std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  kry::Lines each(text);
  for (std::string_view line; each.next(line);) lines.emplace_back(line);
  return lines;
}

}  // namespace kry_fuzz
