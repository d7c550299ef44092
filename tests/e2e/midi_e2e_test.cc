// Option midi with Debian's abc2midi: the MIDI file holds each tune's notes,
// one tune after another, as the tab plays them.
#include <gtest/gtest.h>

#include "support/sandbox.h"
#include "midi_reader.h"

namespace kry_test {
namespace {

TEST(MidiFile, HoldsTheNotesAsTheTabPlaysThem) {
  const std::string book = "X:1\nT:One\nL:1/8\nK:G\n\"G\"GABc dedB|\n\nX:1\nT:Two\nL:1/4\nK:D\n+DF+ A|\n";
  const struct { std::vector<std::string> args; std::vector<int> notes; } rows[] = {
      // The guitar sounds an octave below its music; here two half steps up.
      {{"book", "midi", "2"}, {57, 59, 61, 62, 64, 66, 64, 61, 52, 56, 59}},
      // The mandolin sounds as written.
      {{"book", "midi", "m"}, {67, 69, 71, 72, 74, 76, 74, 71, 62, 66, 69}},
      // The banjo sounds an octave below its music, as the guitar.
      {{"book", "midi", "banjo"}, {55, 57, 59, 60, 62, 64, 62, 59, 50, 54, 57}},
      // The mandola sounds as written; octave=-1 takes the tab, and the sound, an octave down.
      {{"book", "midi", "mandola", "octave=-1"}, {55, 57, 59, 60, 62, 64, 62, 59, 50, 54, 57}},
  };
  for (const auto& row : rows) {
    Sandbox box;
    box.write("book.abc", book);
    RunResult run = box.run(row.args);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(midiNotes(box.read("book.mid")), row.notes) << row.args.back();
    EXPECT_EQ(box.files(), (std::vector<std::string>{"book.abc", "book.mid"}));
  }
}

}  // namespace
}  // namespace kry_test
