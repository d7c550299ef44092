// The staged tune in chunks of whole tunes. A large collection is read in
// blocks and cut where a tune starts, so that each chunk can be converted on
// a thread of its own; its lines are then read from memory.
#pragma once

#include <cstddef>
#include <cstring>
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
// is written in is not cleared first, and stays for the next use. Its
// writing is inline: a sink that passes lines on to it calls it for every line.
class TextSink final : public LineSink {
 public:
  void put(std::string_view head, std::string_view tail = {}) override {
    char* at = room(head.size() + tail.size() + 2);
    if (!head.empty()) std::memcpy(at, head.data(), head.size());  // an empty view may hold no address
    if (!tail.empty()) std::memcpy(at + head.size(), tail.data(), tail.size());
    std::memcpy(at + head.size() + tail.size(), "\r\n", 2);
    size_ += head.size() + tail.size() + 2;
  }
  char* reserve(std::size_t most) override { return room(most + 2); }
  void commit(std::size_t used) override {
    std::memcpy(buf_.get() + size_ + used, "\r\n", 2);
    size_ += used + 2;
  }
  void putLines(std::string_view lines) override {
    if (!lines.empty()) std::memcpy(room(lines.size()), lines.data(), lines.size());
    size_ += lines.size();
  }

  std::string_view text() const { return {buf_.get(), size_}; }
  void clear() { size_ = 0; }

 private:
  // At the end, for at least `most` characters.
  char* room(std::size_t most) { return size_ + most <= capacity_ ? buf_.get() + size_ : grow(most); }
  char* grow(std::size_t most);

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
