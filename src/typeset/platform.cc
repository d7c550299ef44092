#include "typeset/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/program.h"

namespace kry::typeset {

const char* const kTempTune = "tune.abc";
const char* const kTempPs = "tune.ps";
const char* const kTempLog = "abcm2ps.log";
const char* const kTempBody = "body.abc";
const char* const kTempMarked = "marked.ps";

namespace {

// The temporary directory, for the signal handler: an interrupted run
// still leaves nothing behind.
char gTempDir[4096];

void cleanupOnSignal(int sig) {
  if (gTempDir[0] != '\0') {
    char path[4200];
    for (const char* name : {kTempTune, kTempPs, kTempLog, kTempBody, kTempMarked}) {
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

std::optional<std::string> PosixPlatform::readEnd(const std::string& path, std::size_t bytes) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::streamoff size = in.tellg();
  const std::streamoff from = size > static_cast<std::streamoff>(bytes) ? size - static_cast<std::streamoff>(bytes) : 0;
  std::string text(static_cast<std::size_t>(size - from), '\0');
  if (!in.seekg(from) || !in.read(text.data(), static_cast<std::streamsize>(text.size()))) return std::nullopt;
  return text;
}

bool PosixPlatform::writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

bool PosixPlatform::readBlocks(const std::string& path, const std::function<void(std::string_view)>& block) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string buffer(std::size_t{1} << 16, '\0');
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    block(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
  }
  return !in.bad();
}

bool PosixPlatform::appendFile(const std::string& path, std::string_view text) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  return close(fd) == 0 && ok;
}

// On PATH only, not beside abctab2ps: abcm2ps comes in a package of its own.
std::optional<std::string> PosixPlatform::findProgram(const std::string& name) {
  std::string found = kry::findProgram(name, "");
  if (found.empty()) return std::nullopt;
  return found;
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
  for (const char* name : {kTempTune, kTempPs, kTempLog, kTempBody, kTempMarked}) unlink((dir + "/" + name).c_str());
  rmdir(dir.c_str());
  if (dir == gTempDir) gTempDir[0] = '\0';
}

int PosixPlatform::run(const std::vector<std::string>& args, const std::string& dir, const std::string& log) {
  // Found as findProgram finds it, by its absolute name before it moves to
  // dir: a PATH entry relative to ours is not read again from there.
  const int status = kry::runProgram(args, "", kry::ProgramSetting{dir, log, true, {}});
  // A signal comes back as a shell reports it, 128 and its number.
  const bool killed = status > 128 && status - 128 < NSIG;
  return status == kry::kNotStarted || killed ? -1 : status;
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
