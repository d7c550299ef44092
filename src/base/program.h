// Starting another program: found on PATH, or else beside the program that
// starts it; started with an argument vector, never through a shell, so no
// name or argument is ever read as a command; and waited for.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kry {

// Offered each line of a program's error stream as it comes, without its line
// end: true when it takes the line; a line not taken goes on to our own error
// stream as it came.
using ErrorLineTaker = std::function<bool(std::string_view line)>;

// How a program is started; by default as we are, here, with our streams.
struct ProgramSetting {
  std::string directory;  // where it runs; empty: here
  std::string output;     // a file that takes its standard output and error stream; empty: ours
  bool noInput = false;   // its standard input is empty (/dev/null)
  ErrorLineTaker takeError;  // when set (and no output file), offered its error stream line by line
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

// For a signal handler: ends the program runProgram is waiting for, if any,
// with `sig`, and waits for it to end (only async-signal-safe calls).
void endRunningProgram(int sig);

}  // namespace kry
