// The fix-up pass's rule for rhythm flags: the first note of every tab-voice
// line after the first gets a length when it has none, so the typesetter
// prints a rhythm flag there. The length is the one in force: the last one
// written on a note before.
#pragma once

#include <string>
#include <string_view>

#include "convert/lines.h"

namespace kry {

// getq: the last length in `line` written on a note (right after a letter, a
// comma or an apostrophe: "2", "3/2", "/2") becomes the rhythm length; with
// none, the length stays.
void getq(std::string& length, std::string_view line);

class FixUp {
 public:
  // The line as the final tune holds it: trailing blanks gone and, on a
  // tab-voice line after the first, the rhythm length on its first note.
  // Good until the next call.
  std::string_view line(std::string_view in);

 private:
  // Where the rhythm length goes on a tab-voice line after its "[V:G]", or npos for nowhere.
  std::size_t insertAt(std::string_view line) const;

  std::string length_ = "1";
  bool first_ = true;
  std::string buf_;
};

// The fix-up pass on the way to a file: every line put here reaches `out`
// as FixUp::line makes it.
class FixUpSink : public LineSink {
 public:
  explicit FixUpSink(LineSink& out) : out_(out) {}
  void put(std::string_view head, std::string_view tail = {}) override {
    out_.put(fix_.line(tail.empty() ? head : joined_.assign(head).append(tail)));
  }
  // Many lines at once: those between the tab-voice lines go through whole,
  // as the conversion wrote them (with no trailing blanks).
  void putLines(std::string_view lines) override;
  void close() override { out_.close(); }

 private:
  LineSink& out_;
  FixUp fix_;
  std::string joined_;
};

}  // namespace kry
