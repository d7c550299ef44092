// Whole runs of the kry binary in a temporary directory, with a fake
// abctab2ps first on PATH that records its arguments and keeps a copy of the
// tune it was handed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kry_test {

struct RunResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out;  // standard output
  std::string err;  // standard error
};

class StartedRun;

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  // The names of the plain files in the directory, sorted (the fake's bin/ aside).
  std::vector<std::string> files() const;

  // Runs kry with `args` in the directory. `input` is standard input; with
  // nullopt standard input is empty (at its end at once).
  RunResult run(const std::vector<std::string>& args,
                const std::optional<std::string>& input = std::nullopt) const;

  // Runs `binary` instead of the kry under test from now on (a copy of it
  // placed elsewhere, say, so that no typesetter stands beside it).
  void setKryBinary(const std::string& binary) { binary_ = binary; }

  // Starts kry with `args` in the directory and returns at once. Its standard
  // input is a pipe the returned process holds open until told otherwise.
  // A `prefix` (a program by its full path and its arguments) starts kry
  // through that program, such as setpriv to run it as another user.
  std::unique_ptr<StartedRun> start(const std::vector<std::string>& args,
                                    const std::vector<std::string>& prefix = {}) const;

  // Makes the fake typesetter exit with `status` from now on.
  void setTypesetterStatus(int status) const;
  // Takes the fake typesetter off PATH (a run then finds none there).
  void removeTypesetter() const;
  // The arguments the fake typesetter was started with (its own name first,
  // as $0 gives it), or nullopt when it never ran.
  std::optional<std::vector<std::string>> typesetterArgs() const;
  // The tune the fake typesetter was handed, byte for byte.
  std::string typesetterTune() const { return read("bin/received.abc"); }

 private:
  std::string dir_;
  std::string binary_;
};

// The kry binary under test and the corpus of real tunes.
std::string kryBinary();
std::string corpusDir();
std::string sourceDir();

// Reads a whole file, or "" when it can't.
std::string readFile(const std::string& path);

// Splits text at LF into lines (a trailing LF gives no empty last line).
std::vector<std::string> lines(const std::string& text);

// Joins lines with CR LF after each, as kry writes its work files.
std::string crlf(const std::vector<std::string>& lines);

// A kry process started by Sandbox::start and not yet waited for. Its output
// goes to files of its own in the sandbox's bin/. A process still running
// when this is destroyed is killed.
class StartedRun {
 public:
  StartedRun(pid_t pid, int input, std::string outPath, std::string errPath);
  ~StartedRun();
  StartedRun(const StartedRun&) = delete;
  StartedRun& operator=(const StartedRun&) = delete;

  pid_t pid() const { return pid_; }
  // Writes to its standard input; false when it no longer reads there.
  bool send(const std::string& text) const;
  // Closes its standard input (it then reads end of input).
  void closeInput();
  // Waits until its standard output holds `text`; false when the time runs
  // out or the process ended first.
  bool waitForOutput(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Sends a signal.
  void signal(int sig) const;
  // Waits for it to end and gives what it did.
  RunResult wait();

 private:
  pid_t pid_;
  int input_;
  std::string outPath_;
  std::string errPath_;
  bool done_ = false;
  int status_ = -1;
};

}  // namespace kry_test
