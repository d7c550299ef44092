#include "convert/accidentals.h"

namespace kry {

char* AccidentalTable::entry(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
  if (letter < 'A' || letter > 'G') return nullptr;
  return &entries_[static_cast<std::size_t>(letter - 'A')];
}

const char* AccidentalTable::entry(char letter) const {
  return const_cast<AccidentalTable*>(this)->entry(letter);
}

void acdntl(AccidentalTable& table, char accidental, char letter) {
  if (char* slot = table.entry(letter)) *slot = accidental;
}

void fixacc(const AccidentalTable& table, std::string& noteText) {
  if (noteText.empty()) return;
  const char* slot = table.entry(noteText[0]);
  if (slot != nullptr && *slot != ' ') noteText.insert(noteText.begin(), *slot);
}

}  // namespace kry
