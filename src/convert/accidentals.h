// Accidentals within a bar: an accidental written before a note holds for the
// later notes of the same letter, in every octave, up to the next bar line.
#pragma once

#include <array>
#include <string>

namespace kry {

// The accidental carried for each letter A..G in the current bar; blank for none.
class AccidentalTable {
 public:
  AccidentalTable() { clear(); }
  void clear() { entries_.fill(' '); }
  // The entry of a letter in either case, or nullptr for a letter other than A..G.
  char* entry(char letter) {
    if (letter >= 'a' && letter <= 'g') return &entries_[static_cast<std::size_t>(letter - 'a')];
    if (letter >= 'A' && letter <= 'G') return &entries_[static_cast<std::size_t>(letter - 'A')];
    return nullptr;
  }
  const char* entry(char letter) const { return const_cast<AccidentalTable*>(this)->entry(letter); }

 private:
  std::array<char, 7> entries_{};
};

// acdntl: records `accidental` for the letter that follows it on the music line.
// A character that is not a note letter (a second accidental, a rest) records nothing.
void acdntl(AccidentalTable& table, char accidental, char letter);

// fixacc: the accidental carried in the bar for the letter of a note written
// without one of its own, or blank; it goes in front of the whole note text.
char fixacc(const AccidentalTable& table, char letter);

}  // namespace kry
