// Option midi's pure parts: the tune abc2midi is handed, the sound of each
// instrument, and the joining of abc2midi's files into one, read back.
#include "run/midi.h"

#include <gtest/gtest.h>

#include "midi_reader.h"

namespace kry {
namespace {

// A MIDI file of `tracks`, each given as its events after their delta times, with the division 480.
std::string midiFile(int format, const std::vector<std::string>& tracks) {
  std::string bytes = std::string("MThd\0\0\0\6\0", 9) + static_cast<char>(format) + '\0' +
                      static_cast<char>(tracks.size()) + std::string("\1\340", 2);
  for (const std::string& track : tracks) {
    std::string whole = track + std::string("\0\377\57\0", 4);
    bytes += std::string("MTrk\0\0\0", 7) + static_cast<char>(whole.size()) + whole;
  }
  return bytes;
}

TEST(Midi, JoinsFilesOneAfterAnotherInOneTrack) {
  // A tempo track and a melody track whose second note comes with running status; then one track alone.
  std::string first = midiFile(1, {std::string("\0\377\121\3\7\241\40", 7),
                                   std::string("\0\300\31\0\220\74\100\203\140\76\100\0\200\74\0\203\140\200\76\0", 20)});
  std::string second = midiFile(0, {std::string("\0\220\103\100\203\140\200\103\0", 9)});
  std::string fault;
  std::optional<std::string> joined = joinMidi({first, second}, &fault);
  ASSERT_TRUE(joined) << fault;
  EXPECT_EQ(kry_test::midiNotes(*joined), (std::vector<int>{60, 62, 67}));
  EXPECT_EQ(joined->substr(8, 6), std::string("\0\0\0\1\1\340", 6));  // format 0, one track, 480 a beat
  // The second file starts two beats after the first one ends: after 960 ticks of notes, 960 of rest.
  EXPECT_NE(joined->find(std::string("\207\100\220\103\100", 5)), std::string::npos);
  for (const std::string& bad : {std::string("MThd"), first.substr(0, first.size() - 3), std::string("RIFF....")})
    EXPECT_FALSE(joinMidi({bad}, &fault));
}

// A five-course tuning of one's own sounds as a banjo; the named instruments'
// sounds are checked through whole runs.
TEST(Midi, AFiveCourseTuningSoundsAsABanjo) {
  Instrument five;
  five.tuning = readTuning("aDGBd");
  EXPECT_EQ(midiVoice(five).program, 105);
  EXPECT_EQ(midiVoice(five).shift, -12);
}

TEST(Midi, TheTuneHandedToAbc2midi) {
  int tunes = 0;
  std::string tune = midiTune("U:s = +trill+\r\nX:5\r\nT:A\r\nP:AB\r\nP: Tuning: DADGAD\r\nK:G\r\n%%MIDI program 1\r\n"
                              "V:G clef=guitartab\r\n[V:M] +GB+ +s+c|\r\n[V:G] ,,a|\r\nP:A\r\nX:5\r\nK:D\r\n",
                              MidiVoice{25, 0}, &tunes);
  EXPECT_EQ(tunes, 2);
  EXPECT_EQ(tune, "U:s = +trill+\nX:1\n%%MIDI program 25\n%%MIDI gchordoff\nT:A\nP:AB\nK:G\n[V:M] [GB] +s+c|\nP:A\n"
                  "X:2\n%%MIDI program 25\n%%MIDI gchordoff\nK:D\n");
}

}  // namespace
}  // namespace kry
