// Accidentals within a bar: an accidental written before a note holds for the
// later notes of the same letter, in every octave, up to the next bar line.
#pragma once

#include <algorithm>
#include <array>

namespace kry {

// The accidental carried for each letter A..G in the current bar; blank for none.
class AccidentalTable {
 public:
  AccidentalTable() { clear(); }
  void clear() { entries_.fill(' '); }
  // Whether no letter carries an accidental: most bars have none.
  bool none() const { return std::ranges::all_of(entries_, [](char entry) { return entry == ' '; }); }
  char carried(char letter) const { return slot(letter) < 7 ? entries_[slot(letter)] : ' '; }
  void record(char letter, char accidental) {
    if (slot(letter) < 7) entries_[slot(letter)] = accidental;
  }
  bool operator==(const AccidentalTable&) const = default;

 private:
  // A..G and a..g share the entries 0..6; any other character has none.
  static std::size_t slot(char letter) {
    if (letter >= 'a' && letter <= 'g') return static_cast<std::size_t>(letter - 'a');
    if (letter >= 'A' && letter <= 'G') return static_cast<std::size_t>(letter - 'A');
    return 7;
  }

  std::array<char, 7> entries_{};
};

// acdntl: records `accidental` for the letter that follows it on the music line.
// A character that is not a note letter (a second accidental, a rest) records nothing.
inline void acdntl(AccidentalTable& table, char accidental, char letter) { table.record(letter, accidental); }

// fixacc: the accidental carried in the bar for the letter of a note written
// without one of its own, or blank; it goes in front of the whole note text.
inline char fixacc(const AccidentalTable& table, char letter) { return table.carried(letter); }

}  // namespace kry
