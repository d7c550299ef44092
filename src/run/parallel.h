// Converting a large collection on several cores. The staged tune is cut in
// chunks where a tune starts (chunks.h); worker threads convert the chunks
// ahead, each apart from the lines before it and into memory, starting from
// where the conversion is likely to stand there: in the key of the last key
// field before it. The chunks are then taken in order. One that started from
// another key or bar than the conversion in order reached, that said
// something or stopped, is converted again in order, so the converted tune,
// every message and the stop are those of a pass line by line.
#pragma once

#include <cstddef>
#include <ostream>

#include "convert/convert.h"
#include "convert/lines.h"
#include "run/chunks.h"
#include "run/ledger.h"

namespace kry {

// Converts all of `in` into `out` with `threads` worker threads; with none,
// in order on the calling thread. `origins`, when given, is told where each
// line written came from.
ConvertSummary convertInChunks(ByteSource& in, LineSink& out, const ConvertSettings& settings, std::ostream& messages,
                               unsigned threads, std::size_t chunkSize = kChunkSize, OriginLedger* origins = nullptr);

}  // namespace kry
