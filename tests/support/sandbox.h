// Whole runs of the kry binary, or of any command, in a temporary directory,
// with a fake abctab2ps first on PATH that records its arguments and the
// tune it was handed (or another typesetter, our own among them, in its place).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kry_test {
namespace fs = std::filesystem;

inline std::string sourceDir() { return KRY_SOURCE_DIR; }

inline std::string readFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

struct RunResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out, err;
};

class Sandbox {
 public:
  Sandbox() {
    dir_ = (fs::temp_directory_path() / "kry-e2e-XXXXXX").string();
    if (::mkdtemp(dir_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = dir_ + "/bin:/usr/bin:/bin";
    write("bin/abctab2ps",
          "#!/bin/sh\nhere=$(dirname \"$0\")\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$here/args.txt\"\n"
          "cp \"$1\" \"$here/received.abc\" 2>/dev/null\necho ' fake abctab2ps ran'\n"
          "if [ -f \"$here/says\" ]; then cat \"$here/says\" >&2; fi\n"
          "if [ -f \"$here/ps\" ]; then\n"  // writes the PostScript file as abctab2ps names it
          "  while [ $# -gt 0 ]; do if [ \"$1\" = -O ]; then base=$2; fi; shift; done\n"
          "  case $base in *.) cp \"$here/ps\" \"${base}ps\";; *) cp \"$here/ps\" \"$base.ps\";; esac\nfi\n"
          "exit $(cat \"$here/status\" 2>/dev/null || echo 0)\n");
    fs::permissions(path("bin/abctab2ps"), fs::perms::owner_all);
  }
  ~Sandbox() {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);  // a test may have made it read-only
    fs::remove_all(dir_, ec);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string read(const std::string& name) const { return readFile(path(name)); }
  // With O_CLOEXEC: a run started meanwhile on another thread must not inherit
  // the file open for writing, or the fake typesetter could not be started.
  void write(const std::string& name, const std::string& content) const {
    fs::create_directories(fs::path(path(name)).parent_path());
    int fd = ::open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
      throw std::runtime_error("cannot write " + path(name));
    ::close(fd);
  }
  std::vector<std::string> files() const {  // sorted, the fake's bin/ aside
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().filename() != "bin") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Starts kry (through `prefix`, a program and its arguments, when given) and
  // returns at once; `input` is the write end of its standard input.
  pid_t start(const std::vector<std::string>& args, int& input, const std::vector<std::string>& prefix = {}) const {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::string out = path("bin/out-" + std::to_string(outputs_.size()));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, (out + ".1").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (out + ".2").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
    std::vector<std::string> strings{"PATH=" + path_}, words(prefix);
    for (char** e = environ; *e != nullptr; ++e)
      if (std::string(*e).rfind("PATH=", 0) != 0) strings.emplace_back(*e);
    words.push_back(binary_);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> env, argv;
    for (std::string& s : strings) env.push_back(s.data());
    for (std::string& s : words) argv.push_back(s.data());
    env.push_back(nullptr);
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, words[0].c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc != 0) throw std::runtime_error("cannot start " + words[0]);
    outputs_[pid] = out;
    input = fds[1];
    return pid;
  }
  RunResult wait(pid_t pid) const {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(outputs_.at(pid) + ".1"),
            readFile(outputs_.at(pid) + ".2")};
  }
  // Waits until a started run's standard output holds `text`; false when it ended first or after 10 s.
  bool waitForOutput(pid_t pid, const std::string& text) const {
    for (int tries = 0; tries < 2000; ++tries) {
      if (readFile(outputs_.at(pid) + ".1").find(text) != std::string::npos) return true;
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Runs kry with `args`; standard input is `input`.
  RunResult run(const std::vector<std::string>& args, const std::string& input = "") const {
    int in = -1;
    pid_t pid = start(args, in);
    ::signal(SIGPIPE, SIG_IGN);  // a run that never reads its input is no failure of the test
    for (std::size_t done = 0; done < input.size();) {
      ssize_t put = ::write(in, input.data() + done, input.size() - done);
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    ::close(in);
    return wait(pid);
  }

  // Runs a shell command line in the directory, bin/ first on PATH, its
  // standard input empty.
  RunResult shell(const std::string& cmdline) const {
    const std::string out = path("bin/shell");
    int status = std::system(("cd '" + dir_ + "' && PATH='" + path_ + "' && export PATH && { " + cmdline + "; } </dev/null >'" +
                              out + ".1' 2>'" + out + ".2'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(out + ".1"), readFile(out + ".2")};
  }

  // What the fake reads beside itself: "status" its exit status, "says" what it
  // writes on its error stream, "ps" the PostScript file it writes as abctab2ps names it.
  void tellTypesetter(const std::string& name, const std::string& content) const { write(typesetter_ + "/" + name, content); }
  // Another program takes the fake's place: our own abctab2ps, or one that only succeeds.
  void useTypesetter(const std::string& program) const {
    fs::remove(path("bin/abctab2ps"));
    fs::create_symlink(program, path("bin/abctab2ps"));
  }
  // A fake abc2midi first on PATH: it records its arguments (bin/midi-args.txt)
  // and the tune it was handed (bin/midi.abc), exits with the status in
  // bin/midi-status when there is one, and else writes for each X: line of
  // the tune a MIDI file of one middle C, named as abc2midi names them.
  void fakeMidi(int status = 0) const {
    write("bin/abc2midi",
          "#!/bin/sh\nhere=$(dirname \"$0\")\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$here/midi-args.txt\"\n"
          "cp \"$1\" \"$here/midi.abc\"\n"
          "if [ -f \"$here/midi-status\" ]; then exit $(cat \"$here/midi-status\"); fi\n"
          "n=0\nfor x in $(grep '^X:' \"$1\"); do n=$((n+1))\n"
          "  printf 'MThd\\000\\000\\000\\006\\000\\000\\000\\001\\001\\340MTrk\\000\\000\\000\\015"
          "\\000\\220\\074\\100\\203\\140\\200\\074\\000\\000\\377\\057\\000' > \"${1%.abc}$n.mid\"\ndone\n");
    fs::permissions(path("bin/abc2midi"), fs::perms::owner_all);
    if (status != 0) write("bin/midi-status", std::to_string(status));
  }
  // PATH holds bin/ alone from now on, with the few programs the fake
  // typesetter uses: no abc2midi is found.
  void hidePrograms() {
    for (const char* tool : {"dirname", "cp", "cat"}) fs::create_symlink("/usr/bin/" + std::string(tool), path("bin/" + std::string(tool)));
    path_ = dir_ + "/bin";
  }
  // Runs a copy of kry alone in bin/alone/ from now on, with no typesetter on
  // PATH, and with one beside that copy when `besideIt`.
  void runKryAlone(bool besideIt) {
    fs::create_directories(path("bin/alone"));
    fs::copy_file(binary_, path("bin/alone/kry"));
    if (besideIt) fs::copy_file(path("bin/abctab2ps"), path("bin/alone/abctab2ps"));
    fs::remove(path("bin/abctab2ps"));
    binary_ = path("bin/alone/kry");
    typesetter_ = "bin/alone";
  }
  // The typesetter's arguments after its own name; nullopt when it never ran.
  std::optional<std::vector<std::string>> typesetterArgs() const {
    if (!fs::exists(path(typesetter_ + "/args.txt"))) return std::nullopt;
    return lines(read(typesetter_ + "/args.txt"));
  }
  std::string typesetterTune() const { return read(typesetter_ + "/received.abc"); }

 private:
  std::string dir_, binary_ = KRY_BINARY, typesetter_ = "bin", path_;
  mutable std::map<pid_t, std::string> outputs_;  // where each started run writes its output
};

}  // namespace kry_test
