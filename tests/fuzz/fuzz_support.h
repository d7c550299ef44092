// What the fuzz targets share: a check that ends the process loudly when an
// invariant fails (libFuzzer and the replay test count it as a finding), and
// lines split the way kry reads its work files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace kry_fuzz {

inline void check(bool ok, const char* what, std::string_view detail = "") {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n  [%s]\n", what, std::string(detail).c_str());
  std::abort();
}

// LF, CR or CR LF end a line; a last line with no line end still counts.
inline std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace kry_fuzz
