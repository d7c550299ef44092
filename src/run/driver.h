// The run driver: one run converts one tune file, from the command line to
// the typesetting command, in the current directory.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "run/options.h"
#include "run/platform.h"

namespace kry {

// The names a run derives from its first argument.
struct TuneNames {
  std::string input;  // the file staged, with ".abc" added when its name has no "."
  std::string base;   // names the PostScript file: up to and with the first "."
  bool added = false;  // ".abc" was added: ".ABC" may be tried too
};
TuneNames deriveNames(const std::string& arg);

// The typesetting command as shown to the user, and as started.
struct TypesetCommand {
  std::string shown;
  std::vector<std::string> args;
};
TypesetCommand typesetCommand(const std::string& base, const Options& options);

// The "processed" line(s): the upper-cased input name, in lines of 79 characters.
std::string processedLines(const std::string& input);

// Carries a whole run. Returns at its normal end (and after the usage text);
// every other end raises a Stop.
void run(const std::vector<std::string>& args, Platform& platform, std::ostream& out);

}  // namespace kry
