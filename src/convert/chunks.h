// The staged tune in chunks of whole tunes. A large collection is read in
// blocks and cut where a tune starts, so that each chunk can be converted on
// a thread of its own; its lines are then read from memory.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "convert/lines.h"

namespace kry {

// The lines of a text held in memory; a line ends at LF, CR or CR LF, and a
// last line with no line end still counts.
class TextLines : public LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  bool next(std::string_view& line) override;

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t cr_ = 0;  // the first CR at or after pos_, or the text's size for none
  bool crKnown_ = false;
};

// The lines written, each ended by CR LF, kept in memory. The room a line
// is written in is not cleared first, and stays for the next use.
class TextSink : public LineSink {
 public:
  void put(std::string_view head, std::string_view tail) override;
  char* reserve(std::size_t most) override;
  void commit(std::size_t used) override;
  void putLines(std::string_view lines) override;

  std::string_view text() const { return {buf_.get(), size_}; }
  void clear() { size_ = 0; }

 private:
  char* room(std::size_t most);  // at the end, for at least `most` characters

  std::unique_ptr<char[]> buf_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// A piece of the staged tune made of whole lines.
struct Chunk {
  std::string text;
  bool atTune = false;  // it starts with a tune's X: field line
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

}  // namespace kry
