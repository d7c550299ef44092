// What the fuzz targets share: in-memory line files that read and write the way
// kry's work files do, and a check that ends the process loudly when an
// invariant fails, so libFuzzer (and the replay test) count it as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "convert/lines.h"

namespace kry_fuzz {

// Stops the process with a message naming the broken invariant.
[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "invariant broken: %s\n  [%.*s]\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

inline void check(bool ok, const char* what, std::string_view detail = {}) {
  if (!ok) fail(what, detail);
}

// Splits text into lines the way a work file is read: LF, CR or CR LF end a
// line, and a last line with no line end still counts.
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

// Hands out a list of lines and remembers which one it handed out last, so
// every line written can be traced to the input line it came from.
class VectorSource : public kry::LineSource {
 public:
  explicit VectorSource(const std::vector<std::string>& lines) : lines_(lines) {}
  bool next(std::string& line) override {
    if (at_ >= lines_.size()) return false;
    line = lines_[at_++];
    return true;
  }
  std::size_t current() const { return at_ - 1; }

 private:
  const std::vector<std::string>& lines_;
  std::size_t at_ = 0;
};

// Keeps every line written, without its line end.
class VectorSink : public kry::LineSink {
 public:
  void put(std::string_view head, std::string_view tail) override {
    std::string line(head);
    line += tail;
    lines.push_back(std::move(line));
  }
  std::vector<std::string> lines;
};

}  // namespace kry_fuzz
