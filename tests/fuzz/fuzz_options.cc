// Fuzz target: the option reader, the input split at line feeds into the
// arguments after the tune file name. It reads them, or ends in one of its
// three stops; every other ending is a finding, and so is a state out of range
// (a scale the typesetter would refuse among them).
#include <cstdint>
#include <sstream>

#include "fuzz_support.h"
#include "run/options.h"
#include "base/stop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kry_fuzz::check;
  std::vector<std::string> args{""};
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') args.emplace_back();
    else args.back() += static_cast<char>(data[i]);
  }
  kry::Options options;
  try {
    kry::readOptions(args, options);
  } catch (const kry::Stop& stop) {
    const std::string& said = stop.said();
    // The two illegal-option lines, and for a refused option one more that says why.
    bool illegal = stop.text() == " " && said.rfind(" Illegal option ", 0) == 0 && said.size() >= 63 && said[62] == '\n' &&
                   (said.size() == 63 || (said[63] == ' ' && said.find('\n', 63) == said.size() - 1));
    bool quiet = said.empty() && (stop.isIoError() || stop.text() == "Can't transpose more than 11 steps.");
    check(illegal || quiet, "an option stop not in its form", said + stop.text());
    return 0;
  }
  check(options.transposition >= -11 && options.transposition <= 11, "transposition past 11");
  check(options.scaleText.size() <= 8 && options.scaleFactor > 0.0F && options.scaleFactor <= 4.0F, "scale out of range",
        options.scaleText);
  return 0;
}
