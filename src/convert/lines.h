// Line-by-line reading and writing, as the conversion and the fix-up pass see
// their files. The platform layer gives file-backed ones; tests use strings.
#pragma once

#include <string>
#include <string_view>

namespace kry {

class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line without its line end (LF, CR or CRLF); false at the end.
  // The line is good until the next call.
  virtual bool next(std::string_view& line) = 0;
};

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
  // Room for a line of at most `most` characters, written in place: commit()
  // writes its first `used` characters as one line; a line never committed is
  // never written.
  virtual char* reserve(std::size_t most) {
    room_.resize(most);
    return room_.data();
  }
  virtual void commit(std::size_t used) { put(std::string_view(room_.data(), used)); }
  // Writes lines that are already ended by CR LF, as put() would write each.
  virtual void putLines(std::string_view lines) {
    for (std::size_t end; (end = lines.find("\r\n")) != std::string_view::npos; lines.remove_prefix(end + 2))
      put(lines.substr(0, end));
  }
  // Ends the writing; a file that could not be written in full raises a Stop.
  virtual void close() {}

 private:
  std::string room_;
};

}  // namespace kry
