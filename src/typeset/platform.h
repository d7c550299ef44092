// Everything abctab2ps does to the world outside: files, the temporary
// directory, finding and running abcm2ps, and its two output streams. The
// run (run.h) talks only to this interface; the tests stand in for it with
// one kept in memory (tests/typeset/typeset_test.cc).
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace kry::typeset {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual std::optional<std::string> readFile(const std::string& path) = 0;
  // The last `bytes` bytes of a file, or all of a shorter one.
  virtual std::optional<std::string> readEnd(const std::string& path, std::size_t bytes) = 0;
  virtual bool writeFile(const std::string& path, const std::string& text) = 0;
  // A file read a block at a time, for files too big to hold: `block` gets
  // each in turn. False when the file can't be read.
  virtual bool readBlocks(const std::string& path, const std::function<void(std::string_view)>& block) = 0;
  // Adds `text` at the end of a file we made.
  virtual bool appendFile(const std::string& path, std::string_view text) = 0;
  // The full name of a program found on PATH, as kry finds the programs it starts.
  virtual std::optional<std::string> findProgram(const std::string& name) = 0;
  // A new directory only we can use; removed with its files by removeTemp.
  virtual std::optional<std::string> makeTemp() = 0;
  virtual void removeTemp(const std::string& dir) = 0;
  // Runs the program args[0], found as findProgram finds it, in dir with no
  // input and its output streams going to the file log; the exit status, or
  // -1 when it could not be started or was killed.
  virtual int run(const std::vector<std::string>& args, const std::string& dir, const std::string& log) = 0;
  // Puts a finished file in place in one step: the target is either the
  // old file or the whole new one, never half written.
  virtual bool install(const std::string& from, const std::string& to) = 0;
  virtual void say(const std::string& line) = 0;    // standard output
  virtual void warn(const std::string& line) = 0;   // error stream
};

// The real thing, on a POSIX system.
class PosixPlatform : public Platform {
 public:
  std::optional<std::string> readFile(const std::string& path) override;
  std::optional<std::string> readEnd(const std::string& path, std::size_t bytes) override;
  bool writeFile(const std::string& path, const std::string& text) override;
  bool readBlocks(const std::string& path, const std::function<void(std::string_view)>& block) override;
  bool appendFile(const std::string& path, std::string_view text) override;
  std::optional<std::string> findProgram(const std::string& name) override;
  std::optional<std::string> makeTemp() override;
  void removeTemp(const std::string& dir) override;
  int run(const std::vector<std::string>& args, const std::string& dir, const std::string& log) override;
  bool install(const std::string& from, const std::string& to) override;
  void say(const std::string& line) override;
  void warn(const std::string& line) override;
};

// The names of the files we make in the temporary directory.
extern const char* const kTempTune;
extern const char* const kTempPs;
extern const char* const kTempLog;
extern const char* const kTempBody;    // the translated tunes, before the prolog is known
extern const char* const kTempMarked;  // the PostScript with the PDF's outline
extern const char* const kTempSome;    // a few tunes of the book, engraved apart
extern const char* const kTempSomePs;  // their pages

}  // namespace kry::typeset
