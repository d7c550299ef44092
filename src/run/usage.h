// The banner and the usage text.
#pragma once

#include <ostream>
#include <string>

namespace kry {

// The three lines every run that names a tune file begins with.
void banner(std::ostream& out);

// help: writes the usage text, with the version text `ver` in its second line.
void help(std::ostream& out, const std::string& ver);

// The text of kry --help: every option, after the banner.
void fullHelp(std::ostream& out);

}  // namespace kry
