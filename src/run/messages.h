// The texts the user sees, each exactly as the program writes it, and the
// names of the work files.
#pragma once

#include "base/contract.h"

namespace kry {

inline constexpr const char* kVersion = "1.15";

// Work files, all in the current directory.
inline constexpr const char* kStagedTune = "TMPIN.TMP";
inline constexpr const char* kConvertedTune = "KRY97.ABC";
inline constexpr const char* kFinalTune = "TEMP.ABC";
// The fixed-up tune of option f, until the user agrees that it replaces TEMP.ABC.
inline constexpr const char* kFixedTune = "KRY97.FIX";
inline constexpr const char* kLockFile = "KRY97.LCK";
// The work files that a tune file may not be: the run replaces or removes them.
inline constexpr const char* kWorkFiles[] = {kStagedTune, kConvertedTune, kFixedTune, kLockFile, kFinalTune};
// The work files a run writes, which must be files of its own when they are there.
inline constexpr const char* kWrittenWorkFiles[] = {kStagedTune, kConvertedTune, kFixedTune, kFinalTune};
// The final tune's name as the overwrite question shows it, padded to 11 characters.
inline constexpr const char* kFinalTunePrompt = "TEMP.ABC   ";

inline constexpr const char* kTypesetter = contract::kTypesetter.data();
inline constexpr const char* kGhostscript = "gs";
// Option midi: the program that plays the tunes into a MIDI file, the names
// of its files in its temporary folder, and the tempo of a tune with no Q:
// (quarter notes a minute).
inline constexpr const char* kMidiProgram = "abc2midi";
inline constexpr const char* kMidiTune = "tunes.abc";
inline constexpr const char* kMidiLog = "abc2midi.log";
inline constexpr const char* kMidiJoined = "joined.mid";
inline constexpr const char* kMidiTempo = "120";
// Option pdf: Ghostscript runs in a temporary folder of its own on these
// names, so no name the user typed reaches it.
inline constexpr const char* kPdfPages = "pages.ps";
inline constexpr const char* kPdfFile = "pages.pdf";
inline constexpr const char* kPdfLog = "gs.log";
// How the typesetting command names the final tune when it is shown.
inline constexpr const char* kShownFinalTune = "temp.abc";

// Stop texts.
inline constexpr const char* kNoInputFile = " No such input file.";
inline constexpr const char* kCantTranspose = "Can't transpose more than 11 steps.";
inline constexpr const char* kHalted = "Processing halted!";
inline constexpr const char* kBusy =
    "Another kry run is using this directory; try again when it has finished.";

inline constexpr const char* kTypeForHelp = " Type  kry/?  to get list of options.";

// The banner's second and third lines, and the usage text's, after their indent.
inline constexpr const char* kCredit = " by the kry developers, free software";
inline constexpr const char* kWebAddress = "https://kry.example.org/";

}  // namespace kry
