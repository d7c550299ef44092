#include "convert/accidentals.h"

namespace kry {

void acdntl(AccidentalTable& table, char accidental, char letter) {
  if (char* slot = table.entry(letter)) *slot = accidental;
}

void fixacc(const AccidentalTable& table, std::string& noteText) {
  if (noteText.empty()) return;
  const char* slot = table.entry(noteText[0]);
  if (slot != nullptr && *slot != ' ') noteText.insert(noteText.begin(), *slot);
}

}  // namespace kry
