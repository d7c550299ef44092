// The conversion pass: reads the staged tune line by line and writes the
// converted tune. Header lines are copied (file fields dropped), each tune's
// first key field is followed by the directives and the two voice definitions,
// and every music line becomes a melody line and a tablature line.
#pragma once

#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "convert/lines.h"
#include "convert/pitch.h"
#include "convert/scanner.h"
#include "convert/tunelist.h"

namespace kry {

// The options that shape the converted tune.
struct ConvertSettings {
  char capo = ' ';            // blank: no capo line
  bool a4 = false;            // leave out the letter-paper page height
  float bottomMargin = 0.0F;  // inches; 0: no margin line
  bool rhythmFlags = true;    // "%%tabrhstyle modern", else "none"
  Fingerboard board;          // instrument, tuning, transposition, B on the third string
  std::string tuningName;     // shown under the title when not a standard tuning
  std::optional<TuneList> tunes;  // only these tunes of a collection; all without
  bool skip = false;          // a tune that can't be placed is left out, and the rest go on
};

// What became of the tunes: how many were chosen (by their X: field) and how
// many of those were left out because they could not be placed.
struct ConvertSummary {
  int tunes = 0;
  int leftOut = 0;
};

class Conversion {
 public:
  Conversion(const ConvertSettings& settings, LineSink& out, std::ostream& messages)
      : settings_(settings), out_(out), messages_(messages) {}

  // Handles one line of the staged tune.
  void line(std::string_view raw);
  // Ends the pass: the last tune is written out.
  ConvertSummary finish();

  const TuneState& state() const { return state_; }

  // For a chunk of the file that starts at a tune, converted apart from the
  // lines before it (see convertInChunks): the key in force before its first
  // key field is not known, so a music line there raises NotOnItsOwn. `chart`
  // is a finger chart made ready for every key, to spare making it again.
  void startAtTune(const FingerChart& chart);
  struct NotOnItsOwn {};
  // Whether a chunk converted apart may follow here: nothing it didn't see is
  // carried into its first tune (an accidental of an unfinished bar, a tune
  // left out, whose end starts the next afresh).
  bool mayFollow() const { return state_.accidentals.none() && !leftOut_; }
  // Takes up where `chunk`, such a chunk's conversion, ended, as if its lines
  // had come here; the lines it wrote are written after this. The chunk's
  // conversion is not finished: the lines of a tune it still holds (with
  // skip) are taken over, for its tune may go on in the next chunk.
  void follow(Conversion& chunk);

 private:
  void tuneNumber(std::string_view line);
  void keyField(std::string_view line);
  void musicLine(std::string_view line);
  void put(std::string_view head, std::string_view tail = {});
  bool holdingTune() const { return settings_.skip && inTune_; }  // with skip, until the tune is whole
  void endTune();
  std::string where() const;

  const ConvertSettings& settings_;
  LineSink& out_;
  std::ostream& messages_;
  TuneState state_;
  std::vector<char> room_;  // where the scanner writes a tab-voice line
  std::ostringstream said_;  // what a stop says, written after the place it happened
  ConvertSummary summary_;
  long lineNumber_ = 0;
  bool inTune_ = false;     // an X: field has been read
  bool chosen_ = true;      // the lines of this tune are converted
  bool leftOut_ = false;    // this tune stopped and is left out with skip
  std::string number_, title_;  // of the current tune, for the place of a stop
  std::vector<std::string> held_;  // with skip, the current tune's lines until it is whole
};

// Converts every line of `in` into `out`.
ConvertSummary convert(LineSource& in, LineSink& out, const ConvertSettings& settings, std::ostream& messages);

// The "%%botmargin" value: four characters, two decimals, "****" when too wide.
std::string marginField(float inches);

}  // namespace kry
