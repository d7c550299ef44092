// abctab2ps: typesets kry's two-voice tune (melody and tablature) as
// PostScript through abcm2ps.
#include <iostream>
#include <string>
#include <vector>

#include "typeset/platform.h"
#include "typeset/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  kry::typeset::PosixPlatform platform;
  int status = kry::typeset::typeset(args, platform);
  // What it had to say and could not (a full disk) makes the run a failure.
  std::cout.flush();
  std::cerr.flush();
  return status == 0 && (!std::cout || !std::cerr) ? 1 : status;
}
