// The overwrite question asked before the final tune replaces an existing file.
#pragma once

#include <ostream>
#include <string>

#include "run/platform.h"

namespace kry {

// uhoh: asks whether the file `name` (11 characters, blank-padded) may be
// overwritten; returns when the reply begins with C or c, otherwise the run
// stops with "Processing halted!". The reply is read through `in`.
void uhoh(const std::string& name, Platform& in, std::ostream& out);

}  // namespace kry
