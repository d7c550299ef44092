#include "run/usage.h"

#include "run/messages.h"

namespace kry {

void banner(std::ostream& out) {
  out << '\n'
      << " kry, Version " << kVersion << kCredit << '\n'
      << ' ' << kWebAddress << '\n';
}

void help(std::ostream& out, const std::string& ver) {
  const std::string indent(23, ' ');
  out << '\n'
      << indent << "kry, Version " << ver << kCredit << '\n'
      << indent << kWebAddress << '\n'
      << '\n'
      << " Syntax:  kry <filename> [options]\n"
      << " The qualifier .abc is added to the input filename if none is specifed.\n"
      << " The output filename has the qualifier .PS and the input file's basename.\n"
      << '\n'
      << " Options (must be separated by one or more spaces):\n"
      << '\n'
      << '\n';
  out.flush();
  out << " (1) 'm' without quotation marks produces mandolin tab.  The default\n"
      << "         is guitar tab.\n"
      << " (2) the number of half-steps to transpose music (integer, may be negative)\n"
      << " (3) a scale factor for shrinking output (positive decimal value)\n"
      << " (4) bottom margin in inches (negative decimal value)\n"
      << " (5) 'debug' without quotation marks causes the intermediate file TEMP.ABC\n"
      << "       to be left in the directory from which kry was executed.  The\n"
      << "       PostScript file is created when kry calls abctab2ps by issuing\n"
      << "       the command\n"
      << "            abctab2ps temp.abc -1 -O <basename> -t <#> -s <#>\n"
      << " (6) 'a4' without quotation marks for A4 paper (default is letter size)\n"
      << " (7) 'c<#>' without quotation marks to print instruction 'Capo <#>'\n"
      << " (8) 'f' without quotation marks has kry make its best guess at the\n"
      << "      duration of the first note of each line and insert a rhythm flag\n"
      << " (9) 'r' without quotation marks suppresses the printing of rhythm\n"
      << "         flags in the guitar/mandolin tab\n";
  out.flush();
}

void fullHelp(std::ostream& out) {
  out << '\n'
      << " Syntax:  kry <filename> [options]\n"
      << "          kry --help | --version\n"
      << " The tune file is named with or without its .abc: kry reel reads reel.abc (or reel.ABC).\n"
      << " The PostScript file is named after the tune file, reel.ps, unless out= names it.\n"
      << '\n'
      << " Options, separated by blanks, in either case; a later one overrides an earlier one:\n"
      << " m             mandolin tab (G D A E); the default is guitar tab\n"
      << " <integer>     transpose by that many half steps, -11 to 11: 2, -3, +5\n"
      << " <decimal>     a positive one scales the printed page (above 0, at most 4): 0.8;\n"
      << "               a negative one sets the bottom margin in inches: -0.5\n"
      << " a4            A4 paper; the default is letter size\n"
      << " c<#>          print the instruction \"Capo <#>\" above the tune: c3; only the text,\n"
      << "               the tab stays as without a capo\n"
      << " capo=N        a capo at fret N (1 to 12): the tab counts the frets from it\n"
      << " f             guess the length of the first note of each tab line and print its rhythm flag\n"
      << " r             print no rhythm flags in the tab\n"
      << " b4            play the B of the open second string at the fourth fret of the third string\n"
      << " dropd, dadgad, openg, opend   guitar in drop D, DADGAD, open G or open D tuning\n"
      << " banjo         5-string banjo, g D G B d, its fifth string short (nut at fret 5)\n"
      << " banjo=NOTES   other banjo tunings, five ABC notes, the fifth string first:\n"
      << "               banjo=gCGcd (or doublec), banjo=aD^FAd (opend), banjo=gDGcd (sawmill)\n"
      << " uke, uke=low  ukulele, g C E A (the g above the C), or with a low G\n"
      << " baritone      baritone ukulele, D G B E\n"
      << " tenorbanjo    tenor banjo, G D A E, an octave below the mandolin\n"
      << " bouzouki      Irish bouzouki, G D A D\n"
      << " mandola       mandola, C G D A\n"
      << "               The banjos, the baritone and the bouzouki read music written an\n"
      << "               octave above their sound, as the guitar does; the ukuleles, the\n"
      << "               mandolin and the mandola read it at pitch.\n"
      << " tuning=NOTES  the open note of each course, as ABC notes in the octave the\n"
      << "               music is written in, from the bottom line of the tab to the top,\n"
      << "               four, five or six in any order: tuning=E,A,DGBe is the standard\n"
      << "               guitar, tuning=G,DAd the bouzouki, tuning=GCEA the ukulele\n"
      << " octave=N      the tab plays every note N octaves higher (-2 to 2), the melody\n"
      << "               staff as written: octave=1 for a low tune on the ukulele\n"
      << " pos, pos=N    place each tune's notes by the hand's positions, up to fret 15;\n"
      << "               with N (0 to 12) the hand starts at fret N\n"
      << " x=LIST        only the tunes numbered or titled so: x=36, x=4-9, x=4,7,12-15,\n"
      << "               x=rakes, x=\"rakes of\" (words of any title line, in any case)\n"
      << " list          print the number and titles of each tune (of those x= chooses)\n"
      << "               and write nothing\n"
      << " voice=ID      in a tune of several voices, the tab of this one (its V: id, its\n"
      << "               name, or its number in the tune): voice=2; the default is the first\n"
      << " skip          leave out a tune that can't be placed and go on with the next\n"
      << " out=NAME      write the PostScript file NAME.ps (and the PDF NAME.pdf);\n"
      << "               NAME may hold a folder: out=mandolin/jigs\n"
      << " pdf           also write the pages as a PDF beside the PostScript file\n"
      << " chords        under each tune's title, a diagram of each chord it uses, for the\n"
      << "               instrument and tuning of the run (behind the capo with capo=N)\n"
      << " midi          also write the tunes as the tab plays them into NAME.mid (needs\n"
      << "               abc2midi, package abcmidi), one tune after another\n"
      << " debug         keep the converted tune TEMP.ABC; the PostScript file is made by\n"
      << "                  abctab2ps temp.abc -1 -O <basename> -t <#> -s <#>\n"
      << " kry --version shows the version; kry --help shows this text.\n";
  out.flush();
}

}  // namespace kry
