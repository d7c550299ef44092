// Choosing tunes from a collection: the list of option x= ("36", "4-9",
// "4,7,12-15", "rakes", "rakes of,12") by the numbers of the tunes' X: fields
// and by the words of their titles; and the heading of a tune, its number and
// titles, read from its header line by line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/abc.h"

namespace kry {

// A line of the staged tune, trimmed and not empty, that is a comment or a
// field line ("%...", "T:...") rather than music.
inline bool isHeaderLine(std::string_view line) { return line[0] == '%' || isFieldLine(line); }
// A field line of the field `upper`, written in either case ("X:1", "x:1"); an
// empty line is none.
inline bool fieldIs(std::string_view line, char upper) {
  return line.size() > 1 && (line[0] == upper || line[0] == upper + 32) && line[1] == ':';
}

// What a tune's header says of it: its number and its titles.
struct TuneHeading {
  std::string number;               // the X: field's text, blanks at its ends trimmed
  std::vector<std::string> titles;  // each T: line of the header, trimmed, in order
};

class TuneList {
 public:
  // The list as typed after "x=", or nothing when it is not one; then
  // `fault`, when given, says why.
  static std::optional<TuneList> read(std::string_view text, std::string* fault = nullptr);
  // Whether a tune of this number is chosen by one of the list's numbers or ranges.
  bool has(long number) const;
  // Whether the list chooses the tune: by its number, or by a title that
  // holds every word of one of the list's items, in any case.
  bool chooses(const TuneHeading& heading) const;
  // The list has words: a tune is chosen only once its titles are known.
  bool byTitle() const { return !words_.empty(); }
  // The list has numbers or ranges.
  bool byNumber() const { return !ranges_.empty(); }

 private:
  std::vector<std::pair<long, long>> ranges_;   // first and last number, both chosen
  std::vector<std::vector<std::string>> words_;  // each item's words, lower-cased
};

// The number of the tune whose X: field line is `line`: the field's text
// without blanks, as a whole number; nothing when that is no number.
std::optional<long> tuneNumber(std::string_view line);

// The headings of a file's tunes, read line by line. A tune's header runs
// from its X: line to its first K: line or music line; its heading is whole
// there, or at the next X: line or the end of the file when the header has
// no end. Blank lines, comments and other fields stand in it unread.
class Headings {
 public:
  // Takes the next line of the file; a heading that it makes whole: the
  // tune's own at its end, or the one before when it starts a new tune.
  std::optional<TuneHeading> line(std::string_view raw);
  // At the end of the file: a heading still open.
  std::optional<TuneHeading> finish();
  // Between a tune's X: line and the end of its header.
  bool open() const { return open_.has_value(); }

 private:
  std::optional<TuneHeading> open_;
};

// " 36  The Rakes of Mallow / Rakes of Mallow": the line that lists a tune
// (option list).
std::string listLine(const TuneHeading& heading);

}  // namespace kry
