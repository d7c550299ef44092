// Key signatures: from the K: field of a tune to the key index, the number of
// sharps (1..7) or seven plus the number of flats (8..14), 0 for none.
#pragma once

#include <string>
#include <string_view>

namespace kry {

// getkey: looks the three-character key code (tonic, "b"/"#", "m" for minor)
// up in the key table; a code the table does not list gives 0.
int getkey(std::string_view keyCode);

// The key code of a K: field line ("K:G", "K: Dmix", "K:E minor"). Modes other
// than major and minor become the major key with the same signature, so Dmix
// reads as G and Ador as Am's relative, G.
std::string keyCodeOf(std::string_view keyLine);

}  // namespace kry
