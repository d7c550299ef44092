#include "convert/accidentals.h"

namespace kry {

void acdntl(AccidentalTable& table, char accidental, char letter) {
  if (char* slot = table.entry(letter)) *slot = accidental;
}

char fixacc(const AccidentalTable& table, char letter) {
  const char* slot = table.entry(letter);
  return slot != nullptr ? *slot : ' ';
}

}  // namespace kry
