// How a run ends early. A routine that must end the run raises a Stop carrying
// what it says and the text for the stop line; only main writes them and
// exits, so the conversion can be driven and tested in-process.
#pragma once

#include <stdexcept>
#include <string>

namespace kry {

// Exit statuses of a run.
inline constexpr int kExitOk = 0;       // normal end, usage text
inline constexpr int kExitStopped = 1;  // a refusal: bad option, bad note, "Processing halted!"
inline constexpr int kExitIoError = 2;  // a file or a reply that could not be read or written

class Stop : public std::runtime_error {
 public:
  // A stop through the stop step: main writes `said` (whole lines, often
  // none) on standard output, then "STOP " + text on the error stream.
  Stop(std::string text, int status, std::string said = "");

  // A refusal whose reason is written on standard output: the stop text is
  // then a single blank.
  static Stop refusal(std::string said) { return Stop(" ", kExitStopped, std::move(said)); }

  // A run-time input/output failure: main writes the report alone, exit status 2.
  static Stop ioError(const std::string& report);

  const std::string& text() const { return text_; }
  int status() const { return status_; }
  bool isIoError() const { return ioError_; }
  const std::string& said() const { return said_; }

  // Puts a line before what the stop says: the place where it happened.
  void sayFirst(const std::string& line) { said_.insert(0, line + "\n"); }
  // Puts a line after what the stop says.
  void sayLast(const std::string& line) { said_ += line + "\n"; }

  // The line main writes on the error stream, without its line end.
  std::string errorLine() const;

 private:
  std::string text_;
  int status_;
  std::string said_;
  bool ioError_ = false;
};

}  // namespace kry
