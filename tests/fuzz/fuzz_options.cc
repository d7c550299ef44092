// Fuzz target: the option reader. The input is split at line feeds into the
// arguments after the tune file name. An illegal option, a transposition past
// 11 and an unreadable number end in a Stop; every other ending is a finding,
// and so is an option state that no argument could have set.
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "run/messages.h"
#include "run/options.h"
#include "run/stop.h"
#include "run/text.h"

namespace {

using kry_fuzz::check;

std::vector<std::string> argumentsOf(std::string_view text) {
  std::vector<std::string> args;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find('\n', start);
    args.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return args;
}

// The option key of an argument: its first six characters, upper-cased, blanks trimmed.
std::string wordOf(const std::string& arg) {
  std::string key = kry::fixedField(arg, 6);
  kry::upcase(key, 6);
  return std::string(kry::trimRight(key));
}

bool anyWord(const std::vector<std::string>& args, std::string_view word) {
  for (const std::string& arg : args)
    if (wordOf(arg) == word) return true;
  return false;
}

void checkStop(const kry::Stop& stop, const std::string& out) {
  if (stop.isIoError()) {
    check(stop.status() == kry::kExitIoError, "an input/output failure with a status other than 2");
    check(out.empty(), "a read error wrote to standard output", out);
    return;
  }
  check(stop.status() == kry::kExitStopped, "an option stop with a status other than 1", stop.text());
  if (stop.text() == kry::kCantTranspose) {
    check(out.empty(), "the transposition stop wrote to standard output", out);
    return;
  }
  check(stop.text() == " ", "unknown stop text from the option reader", stop.text());
  // " Illegal option " + exactly eight characters, then the hint.
  std::string expectedTail = std::string("\n") + kry::kTypeForHelp + "\n";
  check(out.size() == 16 + 8 + expectedTail.size() && out.rfind(" Illegal option ", 0) == 0 &&
            out.substr(24) == expectedTail,
        "illegal-option message not in its form", out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args = argumentsOf({reinterpret_cast<const char*>(data), size});
  kry::Options options;
  std::ostringstream out;
  try {
    kry::readOptions(args, options, out);
  } catch (const kry::Stop& stop) {
    checkStop(stop, out.str());
    return 0;
  }
  check(out.str().empty(), "the option reader wrote for options that were read", out.str());
  check(options.transposition >= -11 && options.transposition <= 11, "transposition past 11");
  check(options.scaleText.size() <= 8, "scale text longer than eight characters", options.scaleText);
  check(options.scaleFactor >= 0.0F, "negative scale factor");
  check(options.mandolin == anyWord(args, "M"), "mandolin flag without its option");
  check(options.fixUp == anyWord(args, "F"), "fix-up flag without its option");
  check(options.rhythmFlags != anyWord(args, "R"), "rhythm-style flag without its option");
  check(options.debug == anyWord(args, "DEBUG"), "debug flag without its option");
  check(options.a4 == anyWord(args, "A4"), "A4 flag without its option");
  check(options.bOnThirdString == anyWord(args, "B4"), "b4 flag without its option");
  return 0;
}
