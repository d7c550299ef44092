#include "typeset/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/files.h"
#include "base/program.h"

namespace kry::typeset {

const char* const kTempTune = "tune.abc";
const char* const kTempPs = "tune.ps";
const char* const kTempLog = "abcm2ps.log";
const char* const kTempBody = "body.abc";
const char* const kTempMarked = "marked.ps";
const char* const kTempSome = "some.abc";
const char* const kTempSomePs = "some.ps";

namespace {

// The temporary directory, for the signal handler: an interrupted run, or
// one whose output pipe was closed, still leaves nothing behind.
char gTempDir[4096];

// Removes every file in gTempDir, then the directory, with system calls
// alone: a signal handler may call nothing else.
void removeTempNow() {
  int dir = ::open(gTempDir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir >= 0) {
    alignas(8) char entries[4096];
    for (long got; (got = ::syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0;) {
      for (long at = 0; at < got;) {
        struct Entry {  // the kernel's linux_dirent64
          ino64_t ino;
          off64_t off;
          unsigned short reclen;
          unsigned char type;
          char name[1];
        };
        const Entry* entry = reinterpret_cast<const Entry*>(entries + at);
        const char* name = entry->name;
        if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) ::unlinkat(dir, name, 0);
        at += entry->reclen;
      }
    }
    ::close(dir);
  }
  ::rmdir(gTempDir);
}

void cleanupOnSignal(int sig) {
  kry::endRunningProgram(SIGTERM);  // abcm2ps writes no more into the directory
  if (gTempDir[0] != '\0') removeTempNow();
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

// A new file: a link of its name is never written through.
bool PosixPlatform::writeFile(const std::string& path, const std::string& text) {
  const int fd = kry::createNew(path);
  if (fd < 0) return false;
  bool whole = true;
  for (std::size_t done = 0; whole && done < text.size();) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    whole = put > 0;
    if (whole) done += static_cast<std::size_t>(put);
  }
  return ::close(fd) == 0 && whole;
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
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, cleanupOnSignal);
  return pattern;
}

// With every file in it: the chord diagrams' files too.
void PosixPlatform::removeTemp(const std::string& dir) {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
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
  if (!writeFile(part, *text)) return false;  // a file of that name that is not ours stays as it is
  if (std::rename(part.c_str(), to.c_str()) != 0) {
    std::remove(part.c_str());
    return false;
  }
  return true;
}

void PosixPlatform::say(const std::string& line) { std::cout << line << '\n' << std::flush; }

void PosixPlatform::warn(const std::string& line) { std::cerr << line << '\n' << std::flush; }

}  // namespace kry::typeset
