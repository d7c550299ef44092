// Accidentals within a bar: an accidental written before a note holds for the
// later notes of the same letter, in every octave, up to the next bar line.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kry {

// The accidental carried for each letter A..G in the current bar; blank for
// none. Eight bytes: one per letter and a last one, always blank, that every
// other character looks up, so a note is one lookup and a bar line one store.
class AccidentalTable {
 public:
  AccidentalTable() { clear(); }
  void clear() { entries_.fill(' '); }
  // Whether no letter carries an accidental: most bars have none. The eight
  // bytes are compared as one word.
  bool none() const {
    std::uint64_t word;
    std::memcpy(&word, entries_.data(), sizeof word);
    return word == kClear;
  }
  char carried(char letter) const { return entries_[slot(letter)]; }
  void record(char letter, char accidental) {
    if (slot(letter) != kNoLetter) entries_[slot(letter)] = accidental;
  }

 private:
  static constexpr std::uint8_t kNoLetter = 7;
  static constexpr std::uint64_t kClear = 0x2020202020202020;  // eight blanks
  static constexpr std::array<std::uint8_t, 256> kSlots = [] {
    std::array<std::uint8_t, 256> slots{};
    slots.fill(kNoLetter);
    for (std::uint8_t k = 0; k < 7; ++k) slots[static_cast<unsigned char>('A' + k)] = slots[static_cast<unsigned char>('a' + k)] = k;
    return slots;
  }();
  static std::size_t slot(char letter) { return kSlots[static_cast<unsigned char>(letter)]; }

  std::array<char, 8> entries_{};
};

// acdntl: records `accidental` for the letter that follows it on the music line.
// A character that is not a note letter (a second accidental, a rest) records nothing.
inline void acdntl(AccidentalTable& table, char accidental, char letter) { table.record(letter, accidental); }

// fixacc: the accidental carried in the bar for the letter of a note written
// without one of its own, or blank; it goes in front of the whole note text.
inline char fixacc(const AccidentalTable& table, char letter) { return table.carried(letter); }

}  // namespace kry
