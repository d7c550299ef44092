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

void moreHelp(std::ostream& out) {
  out << '\n'
      << " More options:\n"
      << " dropd, dadgad, openg, opend   guitar in drop D, DADGAD, open G or open D tuning\n"
      << " tuning=NOTES  the open note of each course, lowest first, as ABC notes:\n"
      << "               tuning=E,A,DGBe is the standard guitar, tuning=G,DAd a mandola\n"
      << " pdf           also write the pages as a PDF beside the PostScript file\n"
      << " x=LIST        convert only the tunes numbered so: x=36, x=4-9, x=4,7,12-15\n"
      << " skip          leave out a tune that can't be placed and go on with the next\n"
      << " kry --version shows the version; kry --help shows this text.\n";
  out.flush();
}

}  // namespace kry
