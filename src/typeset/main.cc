// abctab2ps: typesets kry's two-voice tune (melody and tablature) as
// PostScript through abcm2ps.
#include <string>
#include <vector>

#include "typeset/platform.h"
#include "typeset/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  kry::typeset::PosixPlatform platform;
  return kry::typeset::typeset(args, platform);
}
