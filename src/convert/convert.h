// The conversion pass: reads the staged tune line by line and writes the
// converted tune. Header lines are copied (file fields dropped), each tune's
// first key field is followed by the directives and the two voice definitions,
// and every music line becomes a melody line and a tablature line.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "convert/lines.h"
#include "convert/pitch.h"
#include "convert/scanner.h"

namespace kry {

// The options that shape the converted tune.
struct ConvertSettings {
  char capo = ' ';           // blank: no capo line
  bool a4 = false;           // leave out the letter-paper page height
  float bottomMargin = 0.0F; // inches; 0: no margin line
  bool rhythmFlags = true;   // "%%tabrhstyle modern", else "none"
  Fingerboard board;         // instrument, transposition, B on the third string
};

class Conversion {
 public:
  Conversion(const ConvertSettings& settings, LineSink& out, std::ostream& messages)
      : settings_(settings), out_(out), messages_(messages) {}

  // Handles one line of the staged tune.
  void line(std::string_view raw);

  const TuneState& state() const { return state_; }

 private:
  void keyField(std::string_view line);
  void musicLine(std::string_view line);

  const ConvertSettings& settings_;
  LineSink& out_;
  std::ostream& messages_;
  TuneState state_;
  std::string tab_;
};

// Converts every line of `in` into `out`.
void convert(LineSource& in, LineSink& out, const ConvertSettings& settings, std::ostream& messages);

// The "%%botmargin" value: four characters, two decimals, "****" when too wide.
std::string marginField(float inches);

}  // namespace kry
