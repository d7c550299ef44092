// The world outside kry, kept in memory for tests (and the fuzz targets): a
// text read a few bytes at a time, a scratch file, and a platform whose
// files live in a map and whose programs do as a test tells them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "run/platform.h"

namespace kry_test {

// Hands out a text in reads of 1 to `largest` bytes, never more than asked.
struct Trickle : kry::ByteSource {
  explicit Trickle(std::string_view text, std::size_t largest = 7) : text(text), largest(largest) {}
  std::size_t read(char* to, std::size_t most) override {
    std::size_t size = std::min({most, text.size(), ++step % largest + 1});
    text.copy(to, size);
    text.remove_prefix(size);
    return size;
  }
  std::string_view text;
  std::size_t largest, step = 0;
};

// A scratch file in memory.
struct MemoryScratch : kry::ScratchFile {
  bool write(std::string_view more) override {
    bytes.append(more);
    return true;
  }
  std::size_t readAt(std::uint64_t offset, char* to, std::size_t most) override {
    if (offset >= bytes.size()) return 0;
    return bytes.copy(to, most, static_cast<std::size_t>(offset));
  }
  std::string bytes;
};

// The lines written, each ended by CR LF, into a string held elsewhere.
struct StringSink : kry::LineSink {
  explicit StringSink(std::string& text) : text(text) {}
  void put(std::string_view head, std::string_view tail) override { text.append(head).append(tail).append("\r\n"); }
  std::string& text;
};

// Files in a map; programs that succeed, fail or can't be started as told
// (Ghostscript writing its PDF when it succeeds); no reply to a question.
class FakePlatform : public kry::Platform {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> refused;        // names that can't be created, shared or renamed to
  std::map<std::string, int> statusOf;  // a program's exit status; kNotStarted for none
  std::map<std::string, std::string> says;  // what a program writes on its error stream
  std::map<std::string, kry::FileKind> kinds;  // names that are not regular files
  std::string pdf = "%PDF-1.7";                // what Ghostscript writes when it succeeds

  bool exists(const std::string& name) override { return files.contains(name) || kinds.contains(name); }
  kry::FileKind kindOf(const std::string& name, bool) override {
    return kinds.contains(name)   ? kinds[name]
           : files.contains(name) ? kry::FileKind::kRegular
                                  : kry::FileKind::kMissing;
  }
  bool copy(const std::string& from, const std::string& to) override {
    if (!files.contains(from) || refused.contains(to)) return false;
    files[to] = files[from];
    return true;
  }
  bool sameFile(const std::string& a, const std::string& b) override { return a == b; }
  void remove(const std::string& name) override { files.erase(name); }
  std::unique_ptr<kry::ByteSource> openRead(const std::string& name) override {
    if (!files.contains(name)) return nullptr;
    return std::make_unique<Trickle>(files[name]);
  }
  std::unique_ptr<kry::LineSink> create(const std::string& name) override {
    if (refused.contains(name)) return nullptr;
    files[name].clear();
    return std::make_unique<StringSink>(files[name]);
  }
  bool isFolder(const std::string& name) override { return name == "."; }
  int runProgram(const std::vector<std::string>& args, const kry::ErrorLineTaker& takeError) override {
    int status = statusOf.contains(args[0]) ? statusOf[args[0]] : 0;
    // The typesetter writes the PostScript file when it succeeds.
    if (status == 0 && args[0] == "abctab2ps") files[args[4] + ".ps"] = "%!PS";
    for (std::size_t at = 0, end; takeError && (end = says[args[0]].find('\n', at)) != std::string::npos; at = end + 1)
      takeError(std::string_view(says[args[0]]).substr(at, end - at));
    return status;
  }
  std::optional<std::string> makeTempFolder() override { return "tmp"; }
  void removeFolder(const std::string& folder) override {
    std::erase_if(files, [&](const auto& file) { return file.first.starts_with(folder + "/"); });
  }
  // Ghostscript writes what `pdf` holds when it succeeds.
  int runProgramIn(const std::vector<std::string>& args, const std::string& folder, const std::string&) override {
    int status = runProgram(args, nullptr);
    if (status == 0 && args[0] == "gs") files[folder + "/pages.pdf"] = pdf;
    return status;
  }
  bool rename(const std::string& from, const std::string& to) override {
    if (!files.contains(from) || refused.contains(to)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  std::optional<std::string> readReply() override { return std::nullopt; }
  std::unique_ptr<kry::ScratchFile> scratch() override { return std::make_unique<MemoryScratch>(); }
  void lockDirectory() override {}
  void unlockDirectory() override {}
};

}  // namespace kry_test
