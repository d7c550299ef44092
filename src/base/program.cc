#include "base/program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace kry {
namespace {

namespace fs = std::filesystem;

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

int runProgram(const std::vector<std::string>& args, const std::string& selfPath, const ProgramSetting& how) {
  std::string program = findProgram(args.at(0), selfPath);
  if (program.empty()) return kNotStarted;
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (how.noInput) posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!how.output.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, how.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  if (!how.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, how.directory.c_str());
  pid_t pid = 0;
  int started = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return kNotStarted;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return kNotStarted;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

}  // namespace kry
