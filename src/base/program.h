// Starting another program: found on PATH, or else beside the program that
// starts it; started with an argument vector, never through a shell, so no
// name or argument is ever read as a command; and waited for.
#pragma once

#include <string>
#include <vector>

namespace kry {

// How a program is started; by default as we are, here, with our streams.
struct ProgramSetting {
  std::string directory;  // where it runs; empty: here
  std::string output;     // a file that takes its standard output and error stream; empty: ours
  bool noInput = false;   // its standard input is empty (/dev/null)
};

inline constexpr int kNotStarted = -1;

// The absolute path of the program `name` on PATH, or else beside the
// executable `selfPath`; empty when there is none.
std::string findProgram(const std::string& name, const std::string& selfPath);

// Runs the program args[0], found as findProgram finds it, with `args` as its
// arguments (args[0] its name), and waits for it. Its exit status; 128 plus
// the signal when a signal ended it, as a shell reports it; kNotStarted when
// it could not be found or started.
int runProgram(const std::vector<std::string>& args, const std::string& selfPath, const ProgramSetting& how = {});

}  // namespace kry
