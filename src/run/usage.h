// The banner and the usage text.
#pragma once

#include <ostream>
#include <string>

namespace kry {

// The three lines every run that names a tune file begins with.
void banner(std::ostream& out);

// help: writes the usage text, with the version text `ver` in its second line.
void help(std::ostream& out, const std::string& ver);

// The options that came after the usage text was written, for --help.
void moreHelp(std::ostream& out);

}  // namespace kry
