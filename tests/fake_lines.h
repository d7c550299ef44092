// In-memory line sources and sinks for driving the conversion without files.
#pragma once

#include <string>
#include <vector>

#include "convert/lines.h"

namespace kry_test {

class StringLines : public kry::LineSource {
 public:
  explicit StringLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  bool next(std::string& line) override {
    if (at_ == lines_.size()) return false;
    line = lines_[at_++];
    return true;
  }

 private:
  std::vector<std::string> lines_;
  std::size_t at_ = 0;
};

class CollectLines : public kry::LineSink {
 public:
  void put(std::string_view head, std::string_view tail) override {
    lines.push_back(std::string(head) + std::string(tail));
  }
  std::vector<std::string> lines;
};

}  // namespace kry_test
