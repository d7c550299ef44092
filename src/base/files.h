// Making a file that no one else's file stands in for: kry and abctab2ps
// write their work files and output in folders the user shares, where a file
// of the same name may be a link to another file, or a second name of one.
#pragma once

#include <string>

namespace kry {

// Opens a new file of that name for writing. A regular file of the name is
// removed first, so no other name of it is written through; a link, a folder
// or anything else of the name is left alone and nothing is made (errno tells
// why). The open file, or -1.
int createNew(const std::string& name);

}  // namespace kry
