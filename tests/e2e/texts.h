// What whole runs of kry are expected to write, shared by the end-to-end
// tests: the banner, the usage text, and the block of directives and voice
// definitions that follows a tune's first key field.
#pragma once

#include <string>
#include <vector>

namespace kry_test {

inline const std::string kCredit = " by the kry developers, free software";
inline const std::string kWebAddress = "https://kry.example.org/";

// The three lines every run but the bare usage path starts with.
inline std::string banner() {
  return "\n kry, Version 1.15" + kCredit + "\n " + kWebAddress + "\n";
}

// The usage text, line for line, as "kry", "kry ?" and "kry /?" write it.
inline std::string usageText() {
  auto indent = [](int blanks, const std::string& text) { return std::string(blanks, ' ') + text + "\n"; };
  return "\n" + indent(23, "kry, Version 1.15" + kCredit) + indent(23, kWebAddress) + "\n" +
         " Syntax:  kry <filename> [options]\n"
         " The qualifier .abc is added to the input filename if none is specifed.\n"
         " The output filename has the qualifier .PS and the input file's basename.\n"
         "\n"
         " Options (must be separated by one or more spaces):\n"
         "\n"
         "\n"
         " (1) 'm' without quotation marks produces mandolin tab.  The default\n" +
         indent(9, "is guitar tab.") +
         " (2) the number of half-steps to transpose music (integer, may be negative)\n"
         " (3) a scale factor for shrinking output (positive decimal value)\n"
         " (4) bottom margin in inches (negative decimal value)\n"
         " (5) 'debug' without quotation marks causes the intermediate file TEMP.ABC\n" +
         indent(7, "to be left in the directory from which kry was executed.  The") +
         indent(7, "PostScript file is created when kry calls abctab2ps by issuing") +
         indent(7, "the command") + indent(12, "abctab2ps temp.abc -1 -O <basename> -t <#> -s <#>") +
         " (6) 'a4' without quotation marks for A4 paper (default is letter size)\n"
         " (7) 'c<#>' without quotation marks to print instruction 'Capo <#>'\n"
         " (8) 'f' without quotation marks has kry make its best guess at the\n" +
         indent(6, "duration of the first note of each line and insert a rhythm flag") +
         " (9) 'r' without quotation marks suppresses the printing of rhythm\n" +
         indent(9, "flags in the guitar/mandolin tab");
}

// The overwrite question for TEMP.ABC; the reply is typed after its last line.
inline const std::string kOverwriteQuestion =
    "\n"
    " The file TEMP.ABC   \n"
    " already exists.  Enter 'C' to overwrite it \n"
    " and Continue.  Enter anything else to stop:  ";

// What the fake typesetter writes when it runs.
inline const std::string kFakeTypesetterSays = " fake abctab2ps ran\n";

// The lines after a tune's first key field with no options given.
inline const std::vector<std::string> kDefaultBlock = {
    "%%pageheight 11in", "V:M clef=treble",     "%",  "%", "V:G clef=guitartab",
    "%%staffsep 2cm",    "%%tabrhstyle modern", "%"};

// A reel in G with one music line, and what kry makes of it with no options.
inline const std::string kReelTune = "X:1\nT:Reel\nM:4/4\nL:1/8\nK:G\n|:G2 AB [D2G2B2] ~c|\n";
inline const std::vector<std::string> kReelConverted = {
    "",
    "X:1",
    "T:Reel",
    "M:4/4",
    "L:1/8",
    "K:G",
    "%%pageheight 11in",
    "V:M clef=treble",
    "%",
    "%",
    "V:G clef=guitartab",
    "%%staffsep 2cm",
    "%%tabrhstyle modern",
    "%",
    "[V:M] |:G2 AB [D2G2B2] ~c|",
    "[V:G] |:,,a2  ,,c1 ,a  [,aaa2]  ,b1 |"};

// Joins groups of lines into one list.
inline std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace kry_test
