// Whole runs of the kry binary in a temporary directory, with a fake
// abctab2ps first on PATH that records its arguments and the tune it was handed.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kry_test {

struct RunResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out, err;
};

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
  std::vector<std::string> files() const;  // sorted, the fake's bin/ aside

  // Runs kry with `args`; standard input is `input`.
  RunResult run(const std::vector<std::string>& args, const std::string& input = "") const;
  // Starts kry (through `prefix`, a program and its arguments, when given) and
  // returns at once; `input` is the write end of its standard input.
  pid_t start(const std::vector<std::string>& args, int& input, const std::vector<std::string>& prefix = {}) const;
  RunResult wait(pid_t pid) const;
  // Waits until a started run's standard output holds `text`; false when it ended first or after 10 s.
  bool waitForOutput(pid_t pid, const std::string& text) const;

  void setTypesetterStatus(int status) const;
  void useQuickTypesetter() const;  // one that does nothing but succeed
  void writePostScript() const;     // the fake writes a one-page PostScript file as abctab2ps names it
  void onlyOwnPath();               // PATH holds the sandbox's bin/ alone (and the tools the fake uses)
  // Runs a copy of kry alone in bin/alone/ from now on, with no typesetter on
  // PATH, and with one beside that copy when `besideIt`.
  void runKryAlone(bool besideIt);
  std::optional<std::vector<std::string>> typesetterArgs() const;  // after its own name; nullopt: never ran
  std::string typesetterTune() const { return read(typesetter_ + "/received.abc"); }

 private:
  std::string dir_, binary_ = KRY_BINARY, typesetter_ = "bin";
  bool onlyBin_ = false;
  mutable std::map<pid_t, std::string> outputs_;  // where each started run writes its output
};

std::string sourceDir();
std::string readFile(const std::string& path);
std::vector<std::string> lines(const std::string& text);

}  // namespace kry_test
