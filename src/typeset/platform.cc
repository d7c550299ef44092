#include "typeset/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace kry::typeset {

const char* const kTempTune = "tune.abc";
const char* const kTempPs = "tune.ps";
const char* const kTempLog = "abcm2ps.log";

namespace {

// The temporary directory, for the signal handler: an interrupted run
// still leaves nothing behind.
char gTempDir[4096];

void cleanupOnSignal(int sig) {
  if (gTempDir[0] != '\0') {
    char path[4200];
    for (const char* name : {kTempTune, kTempPs, kTempLog}) {
      // Only async-signal-safe calls here; strcpy/strcat are plain loops.
      std::size_t n = 0;
      for (const char* p = gTempDir; *p && n < sizeof path - 2; ++p) path[n++] = *p;
      path[n++] = '/';
      for (const char* p = name; *p && n < sizeof path - 1; ++p) path[n++] = *p;
      path[n] = '\0';
      unlink(path);
    }
    rmdir(gTempDir);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

std::optional<std::string> PosixPlatform::readFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

bool PosixPlatform::writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

std::optional<std::string> PosixPlatform::findProgram(const std::string& name) {
  const char* env = std::getenv("PATH");
  const std::string path = env ? env : "/usr/bin:/bin";
  std::size_t at = 0;
  while (at <= path.size()) {
    const auto end = path.find(':', at);
    std::string dir = path.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (dir.empty()) dir = ".";
    const std::string full = dir + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) {
      // abcm2ps runs in the temporary directory: a PATH entry relative to
      // ours must not be read from there.
      char* real = realpath(full.c_str(), nullptr);
      if (real == nullptr) return full;
      std::string absolute = real;
      std::free(real);
      return absolute;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return std::nullopt;
}

std::optional<std::string> PosixPlatform::makeTemp() {
  const char* env = std::getenv("TMPDIR");
  std::string pattern = std::string(env && *env ? env : "/tmp") + "/abctab2ps-XXXXXX";
  if (pattern.size() >= sizeof gTempDir) return std::nullopt;
  if (mkdtemp(pattern.data()) == nullptr) return std::nullopt;
  std::strcpy(gTempDir, pattern.c_str());
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, cleanupOnSignal);
  return pattern;
}

void PosixPlatform::removeTemp(const std::string& dir) {
  for (const char* name : {kTempTune, kTempPs, kTempLog}) unlink((dir + "/" + name).c_str());
  rmdir(dir.c_str());
  if (dir == gTempDir) gTempDir[0] = '\0';
}

int PosixPlatform::run(const std::string& prog, const std::vector<std::string>& args,
                       const std::string& dir, const std::string& log) {
  std::vector<std::string> words{prog};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::cout.flush();
  std::cerr.flush();
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(prog.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool PosixPlatform::install(const std::string& from, const std::string& to) {
  // On one file system a rename is the whole move; across two, copy beside
  // the target first and rename there.
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  const auto text = readFile(from);
  if (!text) return false;
  const std::string part = to + ".part" + std::to_string(getpid());
  if (!writeFile(part, *text) || std::rename(part.c_str(), to.c_str()) != 0) {
    std::remove(part.c_str());
    return false;
  }
  return true;
}

void PosixPlatform::say(const std::string& line) { std::cout << line << '\n' << std::flush; }

void PosixPlatform::warn(const std::string& line) { std::cerr << line << '\n' << std::flush; }

}  // namespace kry::typeset
