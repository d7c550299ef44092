#include "run/platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

// Reads a file in large blocks and hands out its lines in place; a line ends
// at LF, CR or CR LF. A line longer than the buffer grows it.
class FileLineSource : public LineSource {
 public:
  FileLineSource(int fd, std::string name) : fd_(fd), name_(std::move(name)), buf_(kBufferSize) {}
  ~FileLineSource() override { ::close(fd_); }

  bool next(std::string_view& line) override {
    for (;;) {
      // Where the next CR stands is looked for once, not for every line: most files have none.
      if (cr_ < pos_ || cr_ > end_) {
        const void* cr = std::memchr(buf_.data() + pos_, '\r', end_ - pos_);
        cr_ = cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - buf_.data()) : end_;
      }
      const char* start = buf_.data() + pos_;
      std::size_t avail = end_ - pos_;
      const void* lf = std::memchr(start, '\n', cr_ - pos_);
      std::size_t size = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : cr_ - pos_;
      bool byCr = lf == nullptr && cr_ < end_;
      // A CR at the buffer's end ends a line only at the file's: an LF may follow.
      if (lf != nullptr || (byCr && (cr_ + 1 < end_ || eof_))) {
        line = std::string_view(start, size);
        pos_ += size + 1;
        if (byCr && pos_ < end_ && buf_[pos_] == '\n') ++pos_;
        return true;
      }
      if (eof_) {  // a last line with no line end still counts
        if (avail == 0) return false;
        line = std::string_view(start, avail);
        pos_ = end_;
        return true;
      }
      fill();
      cr_ = kUnknown;
    }
  }

 private:
  // Keeps the unfinished line at the front and reads more after it.
  void fill() {
    std::size_t kept = end_ - pos_;
    std::memmove(buf_.data(), buf_.data() + pos_, kept);
    pos_ = 0;
    end_ = kept;
    if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
    for (;;) {
      ssize_t got = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) throw Stop::ioError("cannot read " + name_ + ": " + std::strerror(errno));
      end_ += static_cast<std::size_t>(got);
      eof_ = got == 0;
      return;
    }
  }

  int fd_;
  std::string name_;
  std::vector<char> buf_;
  static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::size_t cr_ = kUnknown;  // the first CR at or after pos_, or end_ for none
  bool eof_ = false;
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

  // The line is written straight into the buffer.
  char* reserve(std::size_t most) override {
    makeRoom(most + 2);
    return buf_.data() + used_;
  }
  void commit(std::size_t used) override {
    char* end = buf_.data() + used_ + used;
    end[0] = '\r';
    end[1] = '\n';
    used_ += used + 2;
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
    std::size_t done = 0;
    while (done < used_) {
      ssize_t put = ::write(fd_, buf_.data() + done, used_ - done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) fail();
      done += static_cast<std::size_t>(put);
    }
    used_ = 0;
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

  bool sameFile(const std::string& a, const std::string& b) override {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
  }

  void remove(const std::string& name) override {
    std::error_code ec;
    fs::remove(name, ec);
  }

  std::unique_ptr<LineSource> openRead(const std::string& name) override {
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<FileLineSource>(fd, name);
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

  int runProgram(const std::vector<std::string>& args) override { return kry::runProgram(args, selfPath_); }

  std::optional<std::string> readReply() override {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    return line;
  }

  bool lockDirectory() override {
    for (int attempt = 0; attempt < 100; ++attempt) {
      int fd = ::open(kLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0)
        throw Stop::ioError(std::string("cannot create work files in the current directory: ") +
                            std::strerror(errno));
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
      }
      // The lock file may have been removed by the run that held it just
      // before we locked it: then our lock guards nothing, and we try again.
      struct stat held {}, named {};
      if (::fstat(fd, &held) == 0 && ::stat(kLockFile, &named) == 0 && held.st_ino == named.st_ino &&
          held.st_dev == named.st_dev) {
        lockFd_ = fd;
        gLockHeld = 1;
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(sig, removeLockAndDie);
        return true;
      }
      ::close(fd);
    }
    return false;
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
