// One run of abctab2ps: read the command line and the tune, translate it,
// let abcm2ps engrave it in a private temporary directory, and put the
// PostScript file in place only when it is whole.
#pragma once

#include <string>
#include <vector>

#include "typeset/platform.h"

namespace kry::typeset {

// The exit status: 0 done, 1 refused or failed, 2 a bad command line.
int typeset(const std::vector<std::string>& args, Platform& platform);

}  // namespace kry::typeset
