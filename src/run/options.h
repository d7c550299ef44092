// The option state and the option reader: every argument after the tune file
// name is one option, a short word, a capo option or a bare number whose form
// (integer, positive decimal, negative decimal) says what it sets.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "convert/convert.h"

namespace kry {

struct Options {
  int transposition = 0;      // half steps, -11..11
  float scaleFactor = 1.0F;   // printed size
  std::string scaleText;      // the scale option as typed, first eight characters
  float bottomMargin = 0.0F;  // inches; 0: none
  std::string capo;           // c<#>: what follows "Capo " in its line; empty: no capo line
  bool mandolin = false;
  bool rhythmFlags = true;    // off with "r"
  bool fixUp = false;         // "f": a rhythm flag on each tab line's first note
  bool debug = false;         // keep TEMP.ABC
  bool a4 = false;            // A4 paper: no letter page height
  bool bOnThirdString = false;
  std::optional<Tuning> tuning;    // dropd, dadgad, openg, opend, tuning=NOTES
  std::string tuningName;         // shown under the title: "DADGAD", "Drop D (DADGBE)"
  std::string instrumentName;     // a named instrument's, for messages: "the 5-string banjo"
  std::optional<Sound> sound;     // a named instrument's sound in MIDI
  int octaves = 0;                // "octave=N": the tab plays the notes N octaves higher
  bool pdf = false;               // a PDF beside the PostScript
  std::optional<TuneList> tunes;  // "x=LIST": only these tunes of a collection
  std::string tuneListText;       // the list as typed
  bool skip = false;              // a tune that can't be placed is left out
  int capoFret = 0;               // "capo=N": the tab counts frets from a capo at fret N
  std::optional<int> hand;        // "pos", "pos=N": each tune placed whole, the hand starting at fret N (0: anywhere)
  std::string out;                // "out=NAME": the PostScript file is NAME.ps; empty: named after the tune file
  bool list = false;              // "list": each tune's number and titles, and nothing written
  std::string voice;              // "voice=ID": the voice of a tune in several whose tab is written; empty: the first
  bool chords = false;            // "chords": a diagram of each chord a tune uses, under its title
  bool midi = false;              // "midi": the tunes as the tab plays them, in NAME.mid beside NAME.ps

  ConvertSettings convertSettings() const;
};

// Reads the options (the arguments after the tune file name) into `options`.
// An illegal option raises a Stop that says so; so does a transposition past
// 11; a number that cannot be read raises an I/O failure.
void readOptions(const std::vector<std::string>& args, Options& options);

// The stop for an option that is refused: the illegal-option lines, then one
// that says why, with an example.
[[noreturn]] void refuseOption(const std::string& arg, const std::string& why);

}  // namespace kry
