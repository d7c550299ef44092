// One run of abctab2ps: read the command line and the tune, translate it,
// let abcm2ps engrave it in a private temporary directory (again, a few
// times at most, while it finds music lines too wide or tunes leave a system
// alone on a page; with one tune a page, only those tunes, apart, and the
// whole book once more at the end), mark the PDF's title
// and outline in the PostScript file, and put it in place only when it is
// whole.
#pragma once

#include <string>
#include <vector>

#include "typeset/platform.h"

namespace kry::typeset {

// The exit status: 0 done, 1 refused or failed, 2 a bad command line.
int typeset(const std::vector<std::string>& args, Platform& platform);

}  // namespace kry::typeset
