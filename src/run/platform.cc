#include "run/platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "base/files.h"
#include "base/program.h"
#include "run/messages.h"
#include "base/stop.h"

namespace kry {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBufferSize = 1 << 18;

// Reads a file as it comes.
class FileByteSource : public ByteSource {
 public:
  FileByteSource(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~FileByteSource() override { ::close(fd_); }
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  std::size_t read(char* to, std::size_t most) override {
    for (;;) {
      ssize_t got = ::read(fd_, to, most);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) throw Stop::ioError("cannot read " + name_ + ": " + std::strerror(errno));
    }
  }

 private:
  int fd_;
  std::string name_;
};

// Writes lines ended by CR LF through a large buffer.
class FileLineSink : public LineSink {
 public:
  FileLineSink(int fd, std::string name) : fd_(fd), name_(std::move(name)), buf_(kBufferSize) {}
  // A run that stops part-way still leaves every line written so far in the file.
  ~FileLineSink() override {
    if (fd_ < 0) return;
    try {
      flush();
    } catch (const Stop&) {
    }
    ::close(fd_);
  }

  void put(std::string_view head, std::string_view tail) override {
    std::size_t size = head.size() + tail.size() + 2;
    makeRoom(size);
    char* at = buf_.data() + used_;
    if (!head.empty()) std::memcpy(at, head.data(), head.size());  // an empty view may hold no address
    if (!tail.empty()) std::memcpy(at + head.size(), tail.data(), tail.size());
    at[size - 2] = '\r';
    at[size - 1] = '\n';
    used_ += size;
  }

  // Many lines at once, from a chunk converted apart: a large piece goes
  // straight to the file.
  void putLines(std::string_view lines) override {
    if (lines.size() < buf_.size() / 2) {
      makeRoom(lines.size());
      if (!lines.empty()) std::memcpy(buf_.data() + used_, lines.data(), lines.size());
      used_ += lines.size();
      return;
    }
    flush();
    writeAll(lines.data(), lines.size());
  }

  void close() override {
    if (fd_ < 0) return;
    flush();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail();
  }

 private:
  void flush() {
    writeAll(buf_.data(), used_);
    used_ = 0;
  }

  void writeAll(const char* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
      ssize_t put = ::write(fd_, bytes + done, size - done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) fail();
      done += static_cast<std::size_t>(put);
    }
  }

  void makeRoom(std::size_t size) {
    if (used_ + size <= buf_.size()) return;
    flush();
    if (size > buf_.size()) buf_.resize(size);
  }

  [[noreturn]] void fail() { throw Stop::ioError("cannot write " + name_ + ": " + std::strerror(errno)); }

  int fd_;
  std::string name_;
  std::vector<char> buf_;
  std::size_t used_ = 0;
};

// A scratch file made by tmpfile(): opened anew with O_EXCL (or with no name
// at all), and removed by the system when closed.
class TmpScratchFile : public ScratchFile {
 public:
  explicit TmpScratchFile(std::FILE* file) : file_(file), fd_(::fileno(file)) {
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);  // not handed on to the typesetter
  }
  ~TmpScratchFile() override { std::fclose(file_); }
  TmpScratchFile(const TmpScratchFile&) = delete;
  TmpScratchFile& operator=(const TmpScratchFile&) = delete;

  bool write(std::string_view bytes) override {
    for (std::size_t done = 0; done < bytes.size();) {
      ssize_t put = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(size_ + done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += static_cast<std::size_t>(put);
    }
    size_ += bytes.size();
    return true;
  }
  std::size_t readAt(std::uint64_t offset, char* to, std::size_t most) override {
    for (;;) {
      ssize_t got = ::pread(fd_, to, most, static_cast<off_t>(offset));
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) return 0;
    }
  }

 private:
  std::FILE* file_;
  int fd_;
  std::uint64_t size_ = 0;
};

// The lock is removed when the run is ended by a signal, so none is left
// behind, and the program it started (the typesetter, Ghostscript) is ended
// too, so it cleans up after itself and writes nothing more. A closed output
// pipe ends the run as an interruption does.
volatile std::sig_atomic_t gLockHeld = 0;

extern "C" void removeLockAndDie(int sig) {
  endRunningProgram(SIGTERM);
  if (gLockHeld != 0) ::unlink(kLockFile);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

FileKind kindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kFolder;
  if (S_ISLNK(mode)) return FileKind::kLink;
  if (S_ISFIFO(mode)) return FileKind::kFifo;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::kDevice;
  return FileKind::kOther;
}

// Opens a file to read it, only when it is a regular file: a pipe or a device
// is not opened in a way that waits, and with `noLink` a link is not followed.
int openRegular(const std::string& name, bool noLink) {
  int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noLink ? O_NOFOLLOW : 0));
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool writeAllTo(int fd, const char* bytes, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    ssize_t put = ::write(fd, bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

class SystemPlatform : public Platform {
 public:
  explicit SystemPlatform(std::string selfPath) : selfPath_(std::move(selfPath)) {}
  ~SystemPlatform() override { unlockDirectory(); }

  bool exists(const std::string& name) override {
    std::error_code ec;
    return fs::exists(fs::symlink_status(name, ec));
  }

  // A copy into a new file: a half copy is not left.
  bool copy(const std::string& from, const std::string& to) override {
    int in = openRegular(from, false);
    if (in < 0) return false;
    int out = createNew(to);
    if (out < 0) {
      ::close(in);
      return false;
    }
    std::vector<char> block(kBufferSize);
    bool whole = true;
    for (;;) {
      ssize_t got = ::read(in, block.data(), block.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) whole = false;
      if (got <= 0) break;
      if (!writeAllTo(out, block.data(), static_cast<std::size_t>(got))) {
        whole = false;
        break;
      }
    }
    ::close(in);
    if (::close(out) != 0) whole = false;
    if (!whole) ::unlink(to.c_str());
    return whole;
  }

  // The final tune is the converted tune under a second name: no bytes are
  // copied. A link or a directory in the way is left alone.
  bool share(const std::string& from, const std::string& to) override {
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
      if (!S_ISREG(st.st_mode)) return false;
      ::unlink(to.c_str());
    }
    return ::link(from.c_str(), to.c_str()) == 0 || copy(from, to);
  }

  FileKind kindOf(const std::string& name, bool followLink) override {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) return FileKind::kMissing;
    if (!S_ISLNK(st.st_mode) || !followLink) return kindOfMode(st.st_mode);
    if (::stat(name.c_str(), &st) != 0) return FileKind::kDanglingLink;
    return kindOfMode(st.st_mode);
  }

  std::string readFault(const std::string& name) override {
    int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
      return {};
    }
    std::string why = std::strerror(errno);
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    return why;
  }

  // Renamed where it lies on the same file system; else copied beside the
  // target under a name of its own, and that renamed.
  bool moveInto(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    const std::string part = to + ".part";
    FileKind kind = kindOf(part, false);
    if (kind != FileKind::kMissing && kind != FileKind::kRegular) throw badWorkFile(part, kind);
    if (copy(from, part) && ::rename(part.c_str(), to.c_str()) == 0) return true;
    struct stat st {};
    if (::lstat(part.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(part.c_str());
    return false;
  }

  bool isFolder(const std::string& name) override {
    std::error_code ec;
    return fs::is_directory(name, ec);
  }

  bool sameFile(const std::string& a, const std::string& b) override {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
  }

  void remove(const std::string& name) override {
    std::error_code ec;
    fs::remove(name, ec);
  }

  // Work files only: a link is not followed.
  std::unique_ptr<ByteSource> openRead(const std::string& name) override {
    int fd = openRegular(name, true);
    if (fd < 0) return nullptr;
    return std::make_unique<FileByteSource>(fd, name);
  }

  std::unique_ptr<LineSink> create(const std::string& name) override {
    int fd = createNew(name);
    if (fd < 0) return nullptr;
    return std::make_unique<FileLineSink>(fd, name);
  }

  bool rename(const std::string& from, const std::string& to) override {
    std::error_code ec;
    fs::rename(from, to, ec);
    return !ec;
  }

  int runProgram(const std::vector<std::string>& args, const ErrorLineTaker& takeError) override {
    ProgramSetting how;
    how.takeError = takeError;
    return kry::runProgram(args, selfPath_, how);
  }

  std::optional<std::string> makeTempFolder() override {
    std::error_code ec;
    std::string folder = (fs::temp_directory_path(ec) / "kry-XXXXXX").string();
    if (ec || ::mkdtemp(folder.data()) == nullptr) return std::nullopt;
    return folder;
  }

  void removeFolder(const std::string& folder) override {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  int runProgramIn(const std::vector<std::string>& args, const std::string& folder, const std::string& log) override {
    ProgramSetting how;
    how.directory = folder;
    how.output = log;
    how.noInput = true;
    return kry::runProgram(args, selfPath_, how);
  }

  bool writeBytes(const std::string& name, std::string_view bytes) override {
    int fd = createNew(name);
    if (fd < 0) return false;
    bool whole = writeAllTo(fd, bytes.data(), bytes.size());
    return ::close(fd) == 0 && whole;
  }

  std::optional<std::string> readReply() override {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    return line;
  }

  std::unique_ptr<ScratchFile> scratch() override {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return nullptr;
    return std::make_unique<TmpScratchFile>(file);
  }

  void lockDirectory() override {
    for (int attempt = 0; attempt < 100; ++attempt) {
      // Shared by the runs that take turns here, so not made anew; but a
      // link of its name is not followed, nor a pipe of its name waited on.
      int fd = ::open(kLockFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
      int fault = errno;
      FileKind kind = kindOf(kLockFile, false);
      if (fd < 0 && kind != FileKind::kRegular && kind != FileKind::kMissing) throw badWorkFile(kLockFile, kind);
      if (fd < 0)
        throw Stop::ioError(std::string("cannot create work files in the current directory: ") +
                            std::strerror(fault));
      struct stat st {};
      if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw badWorkFile(kLockFile, kindOfMode(st.st_mode));
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw Stop(kBusy, kExitStopped);
      }
      // The lock file may have been removed by the run that held it just
      // before we locked it: then our lock guards nothing, and we try again.
      struct stat held {}, named {};
      if (::fstat(fd, &held) == 0 && ::stat(kLockFile, &named) == 0 && held.st_ino == named.st_ino &&
          held.st_dev == named.st_dev) {
        lockFd_ = fd;
        gLockHeld = 1;
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(sig, removeLockAndDie);
        return;
      }
      ::close(fd);
    }
    throw Stop(kBusy, kExitStopped);
  }

  void unlockDirectory() override {
    if (lockFd_ < 0) return;
    gLockHeld = 0;
    ::unlink(kLockFile);
    ::close(lockFd_);
    lockFd_ = -1;
  }

 private:
  std::string selfPath_;
  int lockFd_ = -1;
};

}  // namespace

std::string kindName(FileKind kind) {
  switch (kind) {
    case FileKind::kMissing: return "not there";
    case FileKind::kRegular: return "a file";
    case FileKind::kFolder: return "a folder";
    case FileKind::kLink: return "a symbolic link";
    case FileKind::kDanglingLink: return "a link to a file that is not there";
    case FileKind::kFifo: return "a pipe (FIFO)";
    case FileKind::kDevice: return "a device";
    case FileKind::kOther: break;
  }
  return "a special file";
}

Stop badWorkFile(const std::string& name, FileKind kind) {
  return Stop::ioError(name + " is " + kindName(kind) + ", not a work file of kry's own; nothing was written " +
                       "through it. Remove it, or run kry in another folder.");
}

std::unique_ptr<Platform> makeSystemPlatform(const std::string& selfPath) {
  return std::make_unique<SystemPlatform>(selfPath);
}

}  // namespace kry
