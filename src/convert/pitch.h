// Pitch to tab position: `note` places one melody note on the fingerboard of a
// guitar in standard tuning or a four-course mandolin, after the key signature
// and the transposition, by writing one fret letter into the tab code.
#pragma once

#include <ostream>
#include <string>

namespace kry {

// What `note` needs besides the note itself; fixed for a whole run.
struct Fingerboard {
  int transposition = 0;     // half steps, positive upwards
  bool mandolin = false;     // four courses instead of six
  bool bOnThirdString = false;  // the B of the open second string at fret 4 of course 3
};

// note: rewrites `noteText` by the key signature of `keyIndex`, finds its pitch
// position, adds the transposition and writes the fret letter into `tabCode`
// (six characters, course 1 first). A note with no place on the instrument
// writes the not-available message to `messages` and raises a stop.
void note(int keyIndex, std::string& noteText, std::string& tabCode, const Fingerboard& board,
          std::ostream& messages);

// The pitch position of a note text (1 = "E,", 35 = "d'"), or 0 when the
// position table does not hold it. "^d'" lies one above the compass, at 36.
int pitchPosition(const std::string& noteText);

// The note text as the key signature of `keyIndex` spells it.
std::string keySpelling(int keyIndex, const std::string& noteText);

}  // namespace kry
