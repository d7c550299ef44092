// The staged tune in chunks of whole lines. A large collection is read in
// blocks and cut where a tune starts, so that each chunk can be converted on
// a thread of its own.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "convert/lines.h"

namespace kry {

// About the size a collection is cut at: a few chunks in memory at a time.
inline constexpr std::size_t kChunkSize = 1 << 17;

// A piece of the staged tune made of whole lines.
struct Chunk {
  std::string text;
  // It starts the file, or with a tune's X: field line: it may be converted
  // apart from the lines before it.
  bool apart = false;
};

// Cuts what a byte source gives into chunks of about `size` bytes, each cut
// made where a tune starts: before a line that starts with "X:". So a chunk
// holds whole tunes, but for a tune longer than several chunks, which is cut
// between two of its lines.
class TuneChunks {
 public:
  TuneChunks(ByteSource& in, std::size_t size) : in_(in), size_(size) {}
  // The next chunk; false when the source is used up.
  bool next(Chunk& chunk);

 private:
  bool fill();  // reads one block more; false at the end of the source

  ByteSource& in_;
  std::size_t size_;
  std::string pending_;         // read but not yet handed out
  bool handedOut_ = false;      // a chunk has been handed out
  std::size_t lastTune_ = 0;    // where the last tune in it starts, past its first byte; 0 for none
  std::size_t lastLine_ = 0;    // just past its last LF; 0 for none
  bool atEnd_ = false;
};

// Hands every line of a byte source, in order, without its line end, to `take`.
void eachLine(ByteSource& in, const std::function<void(std::string_view line)>& take);

}  // namespace kry
