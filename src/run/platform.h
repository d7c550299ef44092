// The platform layer: the only code that touches files and processes. The run
// driver sees it through this interface; the real one works on the current
// directory and starts the typesetter, and tests hand in a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/program.h"
#include "base/stop.h"
#include "convert/lines.h"

namespace kry {

// What a name stands for in the file system.
enum class FileKind { kMissing, kRegular, kFolder, kLink, kDanglingLink, kFifo, kDevice, kOther };

// A private scratch file: it has no name another program could open or
// replace, and it is gone when dropped. Written at its end, read anywhere.
class ScratchFile {
 public:
  virtual ~ScratchFile() = default;
  // Appends `bytes`; false when they could not all be written.
  virtual bool write(std::string_view bytes) = 0;
  // Reads up to `most` bytes from `offset` on: how many; 0 at the end or on a failure.
  virtual std::size_t readAt(std::uint64_t offset, char* to, std::size_t most) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual bool exists(const std::string& name) = 0;
  // Copies a regular file; false when it could not be copied.
  virtual bool copy(const std::string& from, const std::string& to) = 0;
  // Makes `to` hold what `from` holds, replacing a file of that name: a second
  // name for the same file where the file system allows, else a copy. False
  // when it can't.
  virtual bool share(const std::string& from, const std::string& to) { return copy(from, to); }
  // Whether the name is a folder's (a link to one included).
  virtual bool isFolder(const std::string& name) = 0;
  // What the name stands for: with `followLink`, what a link leads to (a
  // link that leads nowhere is kDanglingLink); without, a link is kLink.
  virtual FileKind kindOf(const std::string& name, bool followLink) {
    (void)followLink;
    return exists(name) ? FileKind::kRegular : FileKind::kMissing;
  }
  // Why a file can't be opened for reading ("permission denied"); empty when it can.
  virtual std::string readFault(const std::string& name) {
    (void)name;
    return {};
  }
  // Moves a finished file into place under its name, in one step: the name
  // then holds either what it held or the whole new file, and a link of that
  // name is replaced, never followed. False when it can't.
  virtual bool moveInto(const std::string& from, const std::string& to) { return rename(from, to); }
  // Whether two names lead to the same file.
  virtual bool sameFile(const std::string& a, const std::string& b) = 0;
  // Deletes a file if it is there; quiet either way.
  virtual void remove(const std::string& name) = 0;
  // Opens a work file for reading; nullptr when it can't.
  virtual std::unique_ptr<ByteSource> openRead(const std::string& name) = 0;
  // Creates or replaces a work file for writing; nullptr when it can't.
  virtual std::unique_ptr<LineSink> create(const std::string& name) = 0;
  // Runs a program (the typesetter, Ghostscript) with its arguments, the first
  // its name, found on PATH or else beside kry, and waits for it. Each line of
  // its error stream is offered to `takeError` when that is set. Its exit
  // status, or kNotStarted when it could not be found or started.
  virtual int runProgram(const std::vector<std::string>& args, const ErrorLineTaker& takeError) = 0;
  // Gives a file another name, replacing any file of that name; false when it can't.
  virtual bool rename(const std::string& from, const std::string& to) = 0;
  // One line of the user's reply, or nothing at the end of standard input.
  virtual std::optional<std::string> readReply() = 0;
  // For a helper program that works on files of its own (abc2midi): a new
  // folder only this run uses, nothing when it can't be made; removing it
  // with what it holds; running the program in it, its standard input empty
  // and its output streams into the file `log` (the exit status, or
  // kNotStarted); and writing a file whole, false when it can't.
  virtual std::optional<std::string> makeTempFolder() { return std::nullopt; }
  virtual void removeFolder(const std::string& folder) { (void)folder; }
  virtual int runProgramIn(const std::vector<std::string>& args, const std::string& folder, const std::string& log) {
    (void)args, (void)folder, (void)log;
    return kNotStarted;
  }
  virtual bool writeBytes(const std::string& name, std::string_view bytes) {
    (void)name, (void)bytes;
    return false;
  }
  // A new private scratch file; nullptr when none can be made, and then
  // what would go there is kept in memory.
  virtual std::unique_ptr<ScratchFile> scratch() { return nullptr; }
  // Takes the directory for this run, and lets it go. Raises a Stop when
  // another run holds it, or an input/output failure when it can't be taken.
  virtual void lockDirectory() = 0;
  virtual void unlockDirectory() = 0;
};

// How a kind of file is named in a message: "a folder", "a symbolic link".
std::string kindName(FileKind kind);

// The end of a run that finds one of its work files to be something else than
// a file of its own (a link, a folder): nothing is written through it.
Stop badWorkFile(const std::string& name, FileKind kind);

// A private temporary folder of the platform's, removed however the step
// that made it ends.
class TempFolder {
 public:
  TempFolder(Platform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}
  ~TempFolder() { platform_.removeFolder(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  Platform& platform_;
  std::string path_;
};

// The real platform. `selfPath` is the path of the running kry, used to find
// the typesetter installed beside it.
std::unique_ptr<Platform> makeSystemPlatform(const std::string& selfPath);

}  // namespace kry
