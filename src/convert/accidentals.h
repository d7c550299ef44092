// Accidentals within a bar: an accidental written before a note holds for the
// later notes of the same letter in the same octave, up to the next bar line,
// as the melody staff engraves them: after ^G a later G in the bar is G sharp,
// a later g or G, is not.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

#include "base/abc.h"

namespace kry {

// The accidental carried for each note, letter and octave, in the current
// bar; blank for none.
class AccidentalTable {
 public:
  AccidentalTable() { entries_.fill(' '); }
  // Most bars carry nothing, and a bar line clears only a table that does.
  void clear() {
    if (!any_) return;
    entries_.fill(' ');
    any_ = false;
  }
  char carried(std::string_view note) const { return any_ ? entries_[slot(note)] : ' '; }
  bool any() const { return any_; }
  void record(std::string_view note, char accidental) {
    if (!isNoteLetter(note[0])) return;
    entries_[slot(note)] = accidental;
    any_ = true;
  }
  bool operator==(const AccidentalTable&) const = default;

 private:
  // The octaves told apart: four below the one from C (written C to B) to
  // four above it; the few notes beyond share the last.
  static constexpr int kOctaves = 9;
  // A note written as its letter and octave marks ("G", "g", "G,", "c''"):
  // seven entries an octave. A character that is no note letter has the
  // last entry, which nothing records, so it stays blank.
  static std::size_t slot(std::string_view note) {
    char letter = note[0];
    if (!isNoteLetter(letter)) return kOctaves * 7;
    int step = letter >= 'a' ? letter - 'a' : letter - 'A';
    int octave = (letter >= 'a' ? 1 : 0) + 4;
    for (char mark : note.substr(1)) octave += mark == '\'' ? 1 : -1;
    return static_cast<std::size_t>(std::clamp(octave, 0, kOctaves - 1) * 7 + step);
  }

  std::array<char, kOctaves * 7 + 1> entries_{};
  bool any_ = false;
};

// acdntl: records `accidental` for the note written after it (its letter and
// octave marks). A character that is not a note letter records nothing.
inline void acdntl(AccidentalTable& table, char accidental, std::string_view note) { table.record(note, accidental); }

// fixacc: the accidental carried in the bar for a note written without one of
// its own (its letter and octave marks), or blank; it goes in front of the
// whole note text.
inline char fixacc(const AccidentalTable& table, std::string_view note) { return table.carried(note); }

}  // namespace kry
