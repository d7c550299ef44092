// What the fuzz targets share, and the unit tests of the chunked conversion
// with them: a check that ends the process loudly when an invariant fails
// (libFuzzer and the replay test count it as a finding), lines read the way
// kry reads its work files, and a collection converted in chunks.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/abc.h"
#include "base/stop.h"
#include "fixup/fixup.h"
#include "run/ledger.h"
#include "run/parallel.h"
#include "support/fakes.h"

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

using kry_test::Trickle;

// What converting a collection in chunks gives (0 threads: in order), with the
// fix-up pass along or not: the converted tune, what was said, how it ended,
// where each line came from (the ledger spilled in blocks of a few bytes)
// and, with the fix-up pass, the converted tune given back.
inline std::string inChunks(std::string_view text, const kry::ConvertSettings& settings, bool fixUp, unsigned threads,
                            std::size_t chunkSize) {
  Trickle in(text);
  kry::TextSink out, givenBack;
  kry::FixUpLedger changes(std::make_unique<kry_test::MemoryScratch>(), 3);
  kry::FixUpSink fixing(out, &changes);
  kry::OriginLedger origins(std::make_unique<kry_test::MemoryScratch>(), 5);
  std::ostringstream said;
  std::string end;
  try {
    kry::ConvertSummary summary = kry::convertInChunks(in, fixUp ? static_cast<kry::LineSink&>(fixing) : out, settings,
                                                       said, threads, chunkSize, &origins);
    end = "tunes " + std::to_string(summary.tunes) + ", left out " + std::to_string(summary.leftOut);
  } catch (const kry::Stop& stop) {
    end = "STOP" + stop.text() + stop.said();
  }
  std::set<long> lines;
  for (long line = 1, last = static_cast<long>(splitLines(out.text()).size()) + 1; line <= last; ++line) lines.insert(line);
  for (const auto& [line, origin] : origins.find(lines))
    end += "\n" + std::to_string(line) + " from " + std::to_string(origin.line) +
           (origin.tune ? " in " + origin.tune->number + " " + (origin.tune->titles.empty() ? "-" : origin.tune->titles[0]) : "");
  Trickle fixed(out.text(), 1 << 16);
  if (fixUp) changes.giveBack(fixed, givenBack);
  return out.text() + "\n--said--\n" + said.str() + "\n--end--\n" + end + "\n--given back--\n" + givenBack.text();
}

}  // namespace kry_fuzz
