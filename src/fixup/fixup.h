// The fix-up pass's rule for rhythm flags: the first note of every tab-voice
// line after the first gets a length when it has none, so the typesetter
// prints a rhythm flag there. The length is the one in force: the last one
// written on a note before.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "convert/lines.h"

namespace kry {

// getq: the last length in `line` written on a note (right after a letter, a
// comma or an apostrophe: "2", "3/2", "/2") becomes the rhythm length; with
// none, the length stays.
void getq(std::string& length, std::string_view line);

// Told of each tab-voice line the fix-up pass changes: which one it is
// (counted from 0), the blanks taken from its end, and where the rhythm
// length went in (npos: nowhere).
class FixUpRecord {
 public:
  virtual ~FixUpRecord() = default;
  virtual void changed(long tabLine, std::size_t blanks, std::size_t at, std::string_view length) = 0;
};

// The tab-voice line as the conversion wrote it, from the line the fix-up
// pass made of it and what it changed there.
std::string unfix(std::string_view fixed, std::size_t blanks, std::size_t at, std::size_t length);

class FixUp {
 public:
  explicit FixUp(FixUpRecord* record = nullptr) : record_(record) {}
  // The line as the final tune holds it: trailing blanks gone and, on a
  // tab-voice line after the first, the rhythm length on its first note.
  // Good until the next call.
  std::string_view line(std::string_view in);

 private:
  // Where the rhythm length goes on a tab-voice line after its "[V:G]", or npos for nowhere.
  std::size_t insertAt(std::string_view line) const;

  FixUpRecord* record_;
  long tabLines_ = 0;  // tab-voice lines before this one
  std::string length_ = "1";
  bool first_ = true;
  std::string buf_;
};

// The fix-up pass on the way to a file: every line put here reaches `out`
// as FixUp::line makes it.
class FixUpSink : public LineSink {
 public:
  explicit FixUpSink(LineSink& out, FixUpRecord* record = nullptr) : out_(out), fix_(record) {}
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
