#include "base/program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace kry {
namespace {

namespace fs = std::filesystem;

// The program being waited for, for a signal handler to end it: 0 when none.
volatile std::sig_atomic_t gRunning = 0;

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program as an absolute path: it may be started in another directory.
std::string absolute(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::canonical(path, ec);
  return ec ? path : full.string();
}

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // our error stream is gone: nothing more can be said there
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

// Reads a program's error stream from `fd` to its end, offering each line to
// `take`; a line not taken is written to our error stream as it came.
void offerLines(int fd, const ErrorLineTaker& take) {
  std::string pending;
  char block[4096];
  for (;;) {
    ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(block, static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
      if (!take(std::string_view(pending).substr(start, end - start)))
        writeAll(2, std::string_view(pending).substr(start, end + 1 - start));
    pending.erase(0, start);
  }
  if (!pending.empty() && !take(pending)) writeAll(2, pending);
}

}  // namespace

std::string findProgram(const std::string& name, const std::string& selfPath) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";  // the usual search path when none is set
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = std::min(dirs.find(':', start), dirs.size());
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (isExecutableFile(candidate)) return absolute(candidate);
    start = end + 1;
  }
  std::error_code ec;
  fs::path self = fs::canonical(selfPath, ec);
  if (!ec && isExecutableFile((self.parent_path() / name).string())) return (self.parent_path() / name).string();
  return {};
}

void endRunningProgram(int sig) {
  pid_t pid = gRunning;
  if (pid <= 0) return;
  ::kill(pid, sig);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

int runProgram(const std::vector<std::string>& args, const std::string& selfPath, const ProgramSetting& how) {
  std::string program = findProgram(args.at(0), selfPath);
  if (program.empty()) return kNotStarted;
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (how.noInput) posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int errors[2] = {-1, -1};  // the pipe of its error stream, when its lines are offered
  if (!how.output.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, how.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else if (how.takeError && ::pipe2(errors, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
  }
  if (!how.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, how.directory.c_str());
  pid_t pid = 0;
  int started = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started == 0) gRunning = pid;
  if (errors[1] >= 0) ::close(errors[1]);
  if (errors[0] >= 0) {
    if (started == 0) offerLines(errors[0], how.takeError);
    ::close(errors[0]);
  }
  if (started != 0) return kNotStarted;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) {
      gRunning = 0;
      return kNotStarted;
    }
  gRunning = 0;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

}  // namespace kry
