// Reading and writing the work files, as the conversion and the fix-up pass
// see them: bytes in, in blocks; lines out, each ended by CR LF. The platform
// layer gives file-backed ones; the chunks of a large collection are kept in
// memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/abc.h"

namespace kry {

// The comment line after a melody line of the converted tune, with option
// midi, that holds the line as the tab plays it: the notes below the lowest
// course as rests.
inline constexpr std::string_view kAsPlayed = "% as the tab plays it: ";

// The bytes of a file as they come, in blocks.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `most` bytes into `to`: how many; 0 at the end. A file that
  // can't be read raises a Stop.
  virtual std::size_t read(char* to, std::size_t most) = 0;
};

class LineSink {
 public:
  virtual ~LineSink() = default;
  // Writes `head` and `tail` together as one line, ended by CR LF.
  virtual void put(std::string_view head, std::string_view tail = {}) = 0;
  // Writes lines that are already ended by CR LF, as put() would write each.
  virtual void putLines(std::string_view lines) {
    Lines each(lines);
    for (std::string_view line; each.next(line);) put(line);
  }
  // Ends the writing; a file that could not be written in full raises a Stop.
  virtual void close() {}
};

// The lines written, each ended by CR LF, kept in memory.
class TextSink : public LineSink {
 public:
  void put(std::string_view head, std::string_view tail = {}) override {
    text_.append(head).append(tail).append("\r\n");
  }
  void putLines(std::string_view lines) override { text_.append(lines); }
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
};

}  // namespace kry
