// The fix-up pass over files: reads the converted tune and writes the final
// tune with a rhythm flag on the first note of every tab-voice line but the first.
#pragma once

#include <ostream>

#include "run/platform.h"

namespace kry {

// fixit: makes TEMP.ABC from KRY97.ABC, asking first when TEMP.ABC exists.
void fixit(Platform& platform, std::ostream& out);

}  // namespace kry
