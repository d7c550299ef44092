#include "run/platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

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

// The lock is removed when the run is ended by a signal, so none is left behind.
volatile std::sig_atomic_t gLockHeld = 0;

extern "C" void removeLockAndDie(int sig) {
  if (gLockHeld != 0) ::unlink(kLockFile);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

class SystemPlatform : public Platform {
 public:
  explicit SystemPlatform(std::string selfPath) : selfPath_(std::move(selfPath)) {}
  ~SystemPlatform() override { unlockDirectory(); }

  bool exists(const std::string& name) override {
    std::error_code ec;
    return fs::exists(fs::symlink_status(name, ec));
  }

  bool copy(const std::string& from, const std::string& to) override {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return false;
    if (fs::exists(to, ec) && !fs::is_regular_file(to, ec)) return false;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      if (fs::is_regular_file(fs::symlink_status(to, ec))) remove(to);  // no half copies
      return false;
    }
    return true;
  }

  // The final tune is the converted tune under a second name: no bytes are
  // copied. A link or a directory in the way is treated as a copy treats it.
  bool share(const std::string& from, const std::string& to) override {
    std::error_code ec;
    fs::file_status there = fs::symlink_status(to, ec);
    if (fs::exists(there) && !fs::is_regular_file(there)) return copy(from, to);
    if (fs::exists(there)) fs::remove(to, ec);
    return ::link(from.c_str(), to.c_str()) == 0 || copy(from, to);
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

  std::unique_ptr<ByteSource> openRead(const std::string& name) override {
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<FileByteSource>(fd, name);
  }

  std::unique_ptr<LineSink> create(const std::string& name) override {
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool whole = true;
    for (std::size_t done = 0; whole && done < bytes.size();) {
      ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (put < 0 && errno == EINTR) continue;
      whole = put > 0;
      if (whole) done += static_cast<std::size_t>(put);
    }
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
      int fd = ::open(kLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0)
        throw Stop::ioError(std::string("cannot create work files in the current directory: ") +
                            std::strerror(errno));
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
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(sig, removeLockAndDie);
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

std::unique_ptr<Platform> makeSystemPlatform(const std::string& selfPath) {
  return std::make_unique<SystemPlatform>(selfPath);
}

}  // namespace kry
