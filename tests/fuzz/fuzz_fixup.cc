// Fuzz target: the fix-up pass over any text. A line comes out as it went in
// without its trailing blanks, except that a tab-voice line after the first
// may gain the rhythm length, after a fret letter or before a chord's bracket.
#include <cstdint>

#include "fixup/fixup.h"
#include "fuzz_support.h"
#include "base/abc.h"
#include "base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kry_fuzz::check;
  kry::FixUp fixUp;
  bool firstTab = true;
  for (const std::string& line : kry_fuzz::splitLines({reinterpret_cast<const char*>(data), size})) {
    std::string_view in = kry::trimRight(line);
    std::string out(fixUp.line(line));
    bool tab = in.substr(0, 5) == "[V:G]";
    if (!tab || firstTab || out == in) {
      check(out == in, "a line changed other than by a rhythm length", line);
    } else {
      std::size_t k = 0, n = out.size() - in.size();
      while (k < in.size() && in[k] == out[k]) ++k;
      check(out.size() > in.size() && out.substr(k + n) == in.substr(k), "a tab line changed other than by one insertion", out);
      check(kry::lengthEnd(out.substr(k, n), 0) == n, "the inserted text is no rhythm length", out);
      check((k > 0 && out[k - 1] >= 'a' && out[k - 1] <= 'z') || (k + n < out.size() && out[k + n] == ']'),
            "the rhythm length is neither after a fret letter nor closing a chord", out);
    }
    firstTab = firstTab && !tab;
  }
  return 0;
}
