// The command line of abctab2ps, as kry writes it:
//   abctab2ps FILE -1 -O BASE [-t N|-t _N] [-s FACTOR]
// with the input file allowed anywhere among the options.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kry::typeset {

struct Command {
  std::string input;
  std::string output = "Out.ps";   // the PostScript file to write
  bool onePerPage = false;         // -1
  int transpose = 0;               // -t: half steps, negative down
  double scale = 1.0;              // -s
};

struct Parsed {
  std::optional<Command> command;
  std::string refusal;             // why the command line was refused
};

Parsed readCommand(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace kry::typeset
