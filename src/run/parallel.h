// Converting the staged tune into the converted tune, with the fix-up pass of
// option f along, on several cores for a large collection. The staged tune
// is read in chunks cut where a tune starts; worker threads convert (and fix
// up) the chunks ahead, each apart from the lines before it, and the chunks
// are taken in order. A chunk whose lines could have come out otherwise in
// order (music before its first key field, an accidental carried over from
// the chunk before, a rhythm length needed from before it, a tune that
// stopped) is converted again in order on the calling thread, so the file,
// the messages and the stop are those of a pass line by line.
#pragma once

#include <cstddef>
#include <ostream>

#include "convert/convert.h"
#include "convert/lines.h"

namespace kry {

struct TunePass {
  const ConvertSettings& convert;
  bool fixUp = false;  // option f: rhythm lengths on the first note of each tab-voice line
};

inline constexpr std::size_t kChunkSize = 1 << 17;

// How the chunks went: converted apart and taken as they were, or converted
// again in order.
struct ChunkCounts {
  long apart = 0;
  long again = 0;
};

// Converts all of `in` into `out` with `threads` worker threads; with none,
// every chunk in order on the calling thread.
ConvertSummary convertInChunks(ByteSource& in, LineSink& out, const TunePass& pass, std::ostream& messages,
                               unsigned threads, std::size_t chunkSize = kChunkSize, ChunkCounts* counts = nullptr);

}  // namespace kry
