// The fix-up pass's rule for rhythm flags: the first note of every tab-voice
// line after the first gets a length when it has none, so the typesetter
// prints a rhythm flag there. The length is the one in force: the last one
// written on a note before.
#pragma once

#include <string>
#include <string_view>

namespace kry {

// getq: the last length in `line` written on a note (right after a letter, a
// comma or an apostrophe: "2", "3/2", "/2") becomes the rhythm length; with
// none, the length stays.
void getq(std::string& length, std::string_view line);

class FixUp {
 public:
  // The line as the final tune holds it: trailing blanks gone and, on a
  // tab-voice line after the first, the rhythm length on its first note.
  std::string_view line(std::string_view in);

  // The same for a line held at `text`, changed in place: its new size. The
  // room after it must take the rhythm length: at least spare() characters.
  std::size_t fix(char* text, std::size_t size);
  std::size_t spare() const { return length_.size(); }

  // For a chunk of the tune converted apart from the lines before it: the
  // length in force is not known until a tab-voice line of the chunk shows
  // one. A line that needed it before then is left as it is, and unsure()
  // says so: the chunk must be fixed up again in order.
  void startAtTune();
  bool unsure() const { return unsure_; }
  // Whether such a chunk may follow here: a tab-voice line has been seen, as
  // the chunk took for granted.
  bool mayFollow() const { return !first_; }
  // Takes up where the fix-up of such a chunk ended.
  void follow(const FixUp& chunk);

 private:
  // fix() for a line known to be a tab-voice line without trailing blanks.
  std::size_t fixTab(char* text, std::size_t size);
  // Where the rhythm length goes on a tab-voice line after its "[V:G]", or npos for nowhere.
  std::size_t insertAt(std::string_view line) const;

  std::string length_ = "1";
  bool first_ = true;
  bool unsure_ = false;
  std::string buf_;
};

}  // namespace kry
