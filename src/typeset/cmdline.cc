#include "typeset/cmdline.h"

#include <cstdlib>

#include "base/abc.h"
#include "base/contract.h"
#include "base/text.h"

namespace kry::typeset {

const char* const kUsage =
    "usage: abctab2ps FILE [-1] [-O BASE] [-t N|-t _N] [-s FACTOR]\n"
    "  -1        one tune per page\n"
    "  -O BASE   write BASE.ps (BASEps when BASE ends with \".\"); Out.ps without it\n"
    "  -t N      transpose the melody staff N half steps up (_N: down), N 0 to 11\n"
    "  -s FACTOR scale the page by FACTOR (above 0, at most 4)\n";

namespace {

// A whole number of half steps, one or two digits, "_" in front for downwards.
std::optional<int> readSteps(std::string_view text) {
  const bool down = !text.empty() && text[0] == '_';
  if (down) text.remove_prefix(1);
  const std::optional<long> steps = text.size() <= 2 ? wholeNumber(text) : std::nullopt;
  if (!steps || *steps > contract::kMostHalfSteps) return std::nullopt;
  return static_cast<int>(down ? -*steps : *steps);
}

std::optional<double> readScale(const std::string& text) {
  if (text.empty()) return std::nullopt;
  bool dot = false;
  bool digit = false;
  for (char c : text) {
    if (c == '.' && !dot) {
      dot = true;
    } else if (isDigit(c)) {
      digit = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  const double v = std::strtod(text.c_str(), nullptr);
  if (v <= 0.0 || v > contract::kLargestScale) return std::nullopt;
  return v;
}

Parsed refuse(std::string why) { return Parsed{std::nullopt, std::move(why)}; }

}  // namespace

Parsed readCommand(const std::vector<std::string>& args) {
  Command cmd;
  bool haveInput = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "-1") {
      cmd.onePerPage = true;
    } else if (a == "-O" || a == "-t" || a == "-s") {
      if (!hasValue) return refuse("option " + a + " needs a value");
      const std::string& v = args[++i];
      if (a == "-O") {
        if (v.empty()) return refuse("option -O needs a base name");
        cmd.output = outputName(v, "ps");
      } else if (a == "-t") {
        const auto steps = readSteps(v);
        if (!steps) {
          const std::string most = std::to_string(contract::kMostHalfSteps);
          return refuse("bad transposition \"" + v + "\": give 0 to " + most + ", or _1 to _" + most + " for down");
        }
        cmd.transpose = *steps;
      } else {
        const auto scale = readScale(v);
        if (!scale) return refuse("bad scale factor \"" + v + "\": give a number above 0, at most 4");
        cmd.scale = *scale;
      }
    } else if (!a.empty() && a[0] == '-') {
      return refuse("unknown option " + a);
    } else if (haveInput) {
      return refuse("more than one input file: " + cmd.input + " and " + a);
    } else if (a.empty()) {
      return refuse("empty input file name");
    } else {
      cmd.input = a;
      haveInput = true;
    }
  }
  if (!haveInput) return refuse("no input file");
  return Parsed{cmd, ""};
}

}  // namespace kry::typeset
