// kry: turns a tune in ABC notation into tablature for the guitar, the
// mandolin, the banjo or another fretted instrument, and hands it to the
// typesetter. main alone ends the process: it writes the stop
// line on the error stream and exits with the status the run ended with.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "run/driver.h"
#include "base/stop.h"

int main(int argc, char** argv) {
  int status = kry::kExitOk;
  std::string errorLine = "STOP  ";
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::unique_ptr<kry::Platform> platform = kry::makeSystemPlatform("/proc/self/exe");
    kry::run(args, *platform, std::cout);
  } catch (const kry::Stop& stop) {
    std::cout << stop.said();
    status = stop.status();
    errorLine = stop.errorLine();
  } catch (const std::bad_alloc&) {
    status = kry::kExitIoError;
    errorLine = "kry: out of memory: the tune file is too large to convert with the memory this machine has";
  } catch (const std::exception& failure) {
    status = kry::kExitIoError;
    errorLine = std::string("kry: ") + failure.what();
  }
  // Output that could not be written (a full disk, a closed pipe) is a failed
  // run, as a work file that could not be written is.
  std::cout.flush();
  if (!std::cout && status == kry::kExitOk) {
    status = kry::kExitIoError;
    errorLine = "kry: cannot write standard output";
  }
  std::cerr << errorLine << '\n' << std::flush;
  if (!std::cerr && status == kry::kExitOk) status = kry::kExitIoError;
  return status;
}
