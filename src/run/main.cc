// kry: turns a tune in ABC notation into tablature for the guitar, the
// mandolin, the banjo or another fretted instrument, and hands it to the
// typesetter. main alone ends the process: it writes the stop
// line on the error stream and exits with the status the run ended with.
#include <iostream>
#include <string>
#include <vector>

#include "run/driver.h"
#include "base/stop.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = kry::kExitOk;
  std::string errorLine = "STOP  ";
  try {
    std::unique_ptr<kry::Platform> platform = kry::makeSystemPlatform("/proc/self/exe");
    kry::run(args, *platform, std::cout);
  } catch (const kry::Stop& stop) {
    std::cout << stop.said();
    status = stop.status();
    errorLine = stop.errorLine();
  } catch (const std::exception& failure) {
    status = kry::kExitIoError;
    errorLine = std::string("kry: ") + failure.what();
  }
  std::cout.flush();
  std::cerr << errorLine << '\n';
  return status;
}
