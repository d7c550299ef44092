// Option midi: the tunes as the tab plays them, to hear before learning
// them, in NAME.mid beside NAME.ps. abc2midi (Debian's abcmidi) makes the
// sound from the melody of the final tune, transposed as the tab plays it, at
// the tune's Q: or a default tempo, on a General MIDI instrument close to
// the run's; it writes one file a tune, and kry joins them one after another
// into one. abc2midi works in a private temporary folder, on fixed names; the
// file is put in place only when it succeeded.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/stop.h"
#include "convert/pitch.h"
#include "run/platform.h"

namespace kry {

// How the instrument sounds in MIDI: its General MIDI program (numbered from
// 0, as "%%MIDI program" takes it), and the half steps it sounds above the
// melody as written: the transposition and octave=, less an octave for an
// instrument whose music is written an octave above its sound (the guitar,
// the banjos, the bouzouki).
struct MidiVoice {
  int program = 0;
  int shift = 0;
};
MidiVoice midiVoice(const Instrument& instrument);

// The tune abc2midi reads, made from the final tune: each tune numbered anew
// from 1 (abc2midi names its files by the number), its instrument, its
// transposition and no chord accompaniment set after its X: line; the tab
// voice, kry's own capo and tuning line (the P: line right before the first
// K:) and the file's own %%MIDI lines left out; old chords in "+" bracketed, as abc2midi reads chords. `tunes` is
// set to the number of tunes.
std::string midiTune(std::string_view finalTune, const MidiVoice& voice, int* tunes);

// The notes and other events of MIDI files, one file after another, in one
// track (format 0), a pause of two beats between two files. Nothing when a
// file is no MIDI file kry can read, and `fault` says why.
std::optional<std::string> joinMidi(const std::vector<std::string>& files, std::string* fault);

// The midi step of a run: writes NAME.mid for the final tune TEMP.ABC with
// the instrument of `instrument`. What it says goes to `out`; the stop to
// raise at the end of the run when no MIDI file was written.
std::optional<Stop> writeMidi(const std::string& base, const Instrument& instrument, Platform& platform,
                              std::ostream& out);

}  // namespace kry
