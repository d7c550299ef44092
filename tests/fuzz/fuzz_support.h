// What the fuzz targets share, and the unit tests of the chunked conversion
// and the run with them: a check that ends the process loudly when an
// invariant fails (libFuzzer and the replay test count it as a finding),
// lines read the way kry reads its work files, a text read a few bytes at a
// time, and a collection converted in chunks.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/abc.h"
#include "base/stop.h"
#include "fixup/fixup.h"
#include "run/parallel.h"

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

// Hands out a text in reads of 1 to 7 bytes, never more than asked.
struct Trickle : kry::ByteSource {
  explicit Trickle(std::string_view text) : text(text) {}
  std::size_t read(char* to, std::size_t most) override {
    std::size_t size = std::min({most, text.size(), ++step % 7 + 1});
    text.copy(to, size);
    text.remove_prefix(size);
    return size;
  }
  std::string_view text;
  std::size_t step = 0;
};

// What converting a collection in chunks gives (0 threads: in order), with the
// fix-up pass along or not: the converted tune, what was said, how it ended.
inline std::string inChunks(std::string_view text, const kry::ConvertSettings& settings, bool fixUp, unsigned threads,
                            std::size_t chunkSize) {
  Trickle in(text);
  kry::TextSink out;
  kry::FixUpSink fixing(out);
  std::ostringstream said;
  std::string end;
  try {
    kry::ConvertSummary summary =
        kry::convertInChunks(in, fixUp ? static_cast<kry::LineSink&>(fixing) : out, settings, said, threads, chunkSize);
    end = "tunes " + std::to_string(summary.tunes) + ", left out " + std::to_string(summary.leftOut);
  } catch (const kry::Stop& stop) {
    end = "STOP" + stop.text() + stop.said();
  }
  return out.text() + "\n--said--\n" + said.str() + "\n--end--\n" + end;
}

}  // namespace kry_fuzz
