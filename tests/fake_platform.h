// An in-memory platform: files in a map, a recorded typesetter, scripted replies.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake_lines.h"
#include "run/platform.h"

namespace kry_test {

class FakePlatform : public kry::Platform {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::vector<std::string>> typesetterRuns;
  std::map<std::string, std::string> typesetterSaw;  // the files when it ran
  int typesetterStatus = 0;
  std::deque<std::string> replies;
  bool busy = false;
  bool locked = false;
  int touched = 0;  // calls that touch files

  bool exists(const std::string& name) override { return files.count(name) != 0; }
  bool copy(const std::string& from, const std::string& to) override {
    ++touched;
    if (!exists(from)) return false;
    files[to] = files[from];
    return true;
  }
  bool sameFile(const std::string& a, const std::string& b) override { return a == b && exists(a); }
  void remove(const std::string& name) override {
    ++touched;
    files.erase(name);
  }
  std::unique_ptr<kry::LineSource> openRead(const std::string& name) override {
    ++touched;
    if (!exists(name)) return nullptr;
    std::vector<std::string> lines;
    std::string line;
    const std::string& text = files[name];
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\n' || c == '\r') {
        lines.push_back(line);
        line.clear();
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      } else {
        line += c;
      }
    }
    if (!line.empty()) lines.push_back(line);
    return std::make_unique<StringLines>(lines);
  }
  std::unique_ptr<kry::LineSink> create(const std::string& name) override {
    ++touched;
    files[name].clear();
    return std::make_unique<FileSink>(files[name]);
  }
  int runTypesetter(const std::vector<std::string>& args) override {
    typesetterRuns.push_back(args);
    typesetterSaw = files;
    return typesetterStatus;
  }
  std::optional<std::string> readReply() override {
    if (replies.empty()) return std::nullopt;
    std::string reply = replies.front();
    replies.pop_front();
    return reply;
  }
  bool lockDirectory() override {
    if (busy) return false;
    locked = true;
    return true;
  }
  void unlockDirectory() override { locked = false; }

 private:
  class FileSink : public kry::LineSink {
   public:
    explicit FileSink(std::string& text) : text_(text) {}
    void put(std::string_view head, std::string_view tail) override {
      text_.append(head).append(tail).append("\r\n");
    }

   private:
    std::string& text_;
  };
};

}  // namespace kry_test
