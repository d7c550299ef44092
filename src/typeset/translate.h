// Turning kry's two-voice tune into abcm2ps input: the page's set-up (the
// prolog, from the paper and spacing the tunes ask for) followed by every
// line of the file routed to its voice (voices.h), the tab-voice lines
// drawn as the tab staff (tabrender.h). Pure: text in, text and warnings
// out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/reader.h"
#include "typeset/prolog.h"
#include "typeset/tabrender.h"

namespace kry::typeset {

struct Settings {
  int transpose = 0;       // half steps for the melody staff, up when positive
  double scale = 1.0;      // -s factor
  std::string inputName;   // for warnings
  std::map<int, int> crowded;  // input lines abcm2ps found too wide for a system, and how often
  // Tunes (counted from 1) that ran onto a page with one system alone, and
  // how often: their systems are set that much closer.
  std::map<int, int> tighter;
  // Tunes that, set as close as they may be, still left one system alone:
  // the system before which a new page starts, counted from 1, so that two
  // systems go over together.
  std::map<int, int> pageBefore;
};

// Where a line of abcm2ps input came from: its input line, 0 when it is
// ours alone; a line joined from continued lines also has the column at
// which each later input line starts in it.
struct Origin {
  int line = 0;
  std::vector<std::pair<std::size_t, int>> joins;
};

// The origins of the lines of abcm2ps input, kept small for a book of any
// size: a byte a line, its input line less the one before (the next, the
// same, or 0 for a line of ours, mostly), with the whole number every 256
// lines and where the step is too long for a byte; and the joins of the few
// lines joined from several. The prolog's lines, which come from no line of
// the input, lead.
class Origins {
 public:
  void lead(std::size_t lines) { lead_ = lines; }  // the lines before the first pushed
  void push(const Origin& o);
  Origin at(std::size_t n) const;  // of line n, counted from 0; none past the end
  std::size_t size() const { return lead_ + steps_.size(); }

 private:
  static constexpr std::size_t kEvery = 256;
  static constexpr std::int8_t kFar = -128;
  std::size_t lead_ = 0;
  int last_ = 0;                                    // the line of the last pushed
  std::vector<std::int8_t> steps_;                  // per pushed line: the step from the one before, or kFar
  std::vector<int> marks_;                          // the line of every kEvery-th pushed line
  std::vector<std::pair<std::size_t, int>> far_;    // the lines a step of kFar leads to, by pushed line
  std::vector<std::pair<std::size_t, std::vector<std::pair<std::size_t, int>>>> joins_;  // by pushed line, in order
};

// Something said about a line of the input: its number (0 for none) and
// the words, as they are said.
struct Said {
  int line = 0;
  std::string text;
};

// A tune as the PDF's outline names it.
struct TuneTitle {
  std::string number;  // of its X: field
  std::string title;   // its first T: line; empty for none
  int titletrim = 1;   // abcm2ps's %%titletrim for the tune, which changes how its title is printed
};

struct Translation {
  std::string abc;                    // the whole abcm2ps input
  std::vector<Said> warnings;         // in line order: things left out, out of time, unpaired
  Origins origin;                     // per output line
  std::string bookTitle;              // the first T: line before the first tune
  int bookTitletrim = 1;              // the %%titletrim before the first tune
  std::vector<TuneTitle> titles;      // one per tune, in order: as many as there are tunes
  // Figures abcm2ps reads beside the tune, by name: the chord diagrams.
  std::vector<std::pair<std::string, std::string>> files;
};

Translation translate(std::string_view text, const Settings& settings);

// A line as abcm2ps is to read it: a tune number written with a small x
// ("x:2") with a capital one ("X:2", kept in `capital`), since abcm2ps starts
// a tune only at a capital X; any other line as it is.
std::string_view capitalTuneNumber(std::string_view line, std::string& capital);

// The paper and margins, set once for the whole file, read a line at a time:
// the first page height and bottom margin given, and the space between
// systems of the tune that has the least (abcm2ps's 46 points for one that
// gives none).
class PageScan {
 public:
  void line(std::string_view line);
  Page page();  // after the last line

 private:
  Page page_;
  std::optional<double> least_, file_;  // the least staffsep of a tune; one before the first tune
  std::optional<double> tune_;          // the tune's own
  bool inTune_ = false;
  LineReader kinds_;  // a block's lines are no settings
  void endTune();
};

}  // namespace kry::typeset
