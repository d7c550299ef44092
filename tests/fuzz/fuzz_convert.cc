// Fuzz target: a whole tune through the conversion pass under an option state
// taken from its first three bytes (transposition, flags, capo). A Stop is the
// conversion's own way to end a run; anything else that escapes, a sanitizer
// report or a broken invariant is a finding. The same tune converted in small
// chunks on worker threads, with and without the fix-up pass, must give what
// a pass in order gives.
#include <algorithm>
#include <cstdint>
#include <sstream>

#include "convert/convert.h"
#include "fuzz_support.h"
#include "base/stop.h"
#include "base/reader.h"
#include "base/text.h"

namespace kry_fuzz {
// Hands out lines and keeps, for each, what was written while it was the last one read.
class Tracer : public kry::LineSink {
 public:
  explicit Tracer(std::vector<std::string> lines) : in(std::move(lines)), out(in.size()) {}
  bool next(std::string_view& line) {
    if (at >= in.size()) return false;
    line = in[at++];
    return true;
  }
  void put(std::string_view head, std::string_view tail) override { out.at(at - 1).push_back(std::string(head) + std::string(tail)); }
  std::vector<std::string> in;
  std::vector<std::vector<std::string>> out;
  std::size_t at = 0;
};
}  // namespace kry_fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kry_fuzz::check;
  std::uint8_t head[3] = {11, 0, ' '};
  for (std::size_t i = 0; i < 3 && i < size; ++i) head[i] = data[i];
  kry::ConvertSettings settings;
  settings.instrument.transposition = head[0] % 23 - 11;
  settings.instrument.mandolin = (head[1] & 1) != 0;
  settings.instrument.bOnThirdString = (head[1] & 2) != 0;
  settings.a4 = (head[1] & 4) != 0;
  settings.rhythmFlags = (head[1] & 8) == 0;
  settings.bottomMargin = static_cast<float>(head[1] >> 4) / 4.0F;
  if (head[2] != ' ') settings.capo = std::string(1, static_cast<char>(head[2]));
  std::string_view tune(reinterpret_cast<const char*>(data) + std::min<std::size_t>(size, 3), size - std::min<std::size_t>(size, 3));
  kry_fuzz::Tracer files(kry_fuzz::splitLines(tune));
  std::ostringstream messages;
  bool stopped = false;
  try {
    kry::Conversion conversion(settings, files, messages);
    for (std::string_view line; files.next(line);) conversion.line(line);
    conversion.finish();
  } catch (const kry::Stop& stop) {
    stopped = true;
    const std::string& said = stop.said();
    std::size_t place = said.find(":\n");
    check(stop.status() == kry::kExitStopped && !stop.isIoError(), "a stop other than the conversion's", stop.text());
    check(said.rfind(" Line ", 0) == 0 && place != std::string::npos, "a stop without its place", said);
    bool scannerStop = stop.text() == "Bad accidental" || stop.text() == "Incomplete chord";
    bool refusal = said.find(" Note not available: ", place) == place + 2;
    check(scannerStop ? place + 2 == said.size() : stop.text() == " " && refusal, "a stop without its message", said);
  }
  // Besides its stop, the conversion says only what its tab leaves out:
  // chord notes, notes below the lowest course, the second voice of overlays.
  std::istringstream said(messages.str());
  for (std::string line; std::getline(said, line);)
    check(line.find(" left out") != std::string::npos, "a message about other than what the tab leaves out", messages.str());
  // A worker thread is dear to start under the sanitizers: one input in 32 is
  // converted in chunks as well.
  settings.skip = head[0] / 23 % 2 != 0;
  for (bool fixUp : {false, true}) {
    if (size % 32 == 7)
      check(kry_fuzz::inChunks(tune, settings, fixUp, 1, 1 + size / 32 % 48) ==
                kry_fuzz::inChunks(tune, settings, fixUp, 0, 1 << 17),
            "chunks converted apart give other than a pass in order", std::string(tune));
  }
  // A tune in several voices writes the lines of its other voices as they
  // are: the pairs below are those of a tune in one.
  std::string seen(tune);  // as the converter reads it: a NUL byte is left out, "[V\0:" is "[V:"
  std::erase(seen, '\0');
  if (seen.find("V:") != std::string::npos) return 0;
  // The lines written, in order, with the line read when each was: a tab
  // line waits for the lyrics of its melody line, and is written with the
  // line after them.
  std::vector<std::pair<std::size_t, std::string>> written;
  for (std::size_t n = 0; n < files.out.size(); ++n)
    for (const std::string& w : files.out[n]) written.emplace_back(n, w);
  std::size_t next = 0;  // where the search for a line's melody line starts
  kry::LineReader blocks;
  for (std::size_t n = 0; n < files.at; ++n) {
    std::string withoutNul(files.in[n]);  // a NUL byte is left out of the line it stands in
    std::erase(withoutNul, '\0');
    std::string_view line = kry::trimRight(kry::trimLeft(withoutNul));
    const std::vector<std::string>& out = files.out[n];
    // The lines of a PostScript or text block pass through as they are.
    const bool block = blocks.classify(line) == kry::LineKind::kBlock;
    // A dropped line writes nothing of its own; it may carry the tab line
    // of the music line before it, which waited for that line's lyrics.
    const bool carries = !out.empty() && out[0].rfind("[V:G] ", 0) == 0;
    if (!block && (line.empty() || line.substr(0, 2) == "F:" || line.substr(0, 2) == "f:"))
      check(out.size() == (carries ? 1U : 0U), "a dropped line reached the tune", line);
    bool music = !block && !line.empty() && line[0] != '%' && !(kry::isLetter(line[0]) && line.size() > 1 && line[1] == ':');
    if (!music) continue;
    // The line's own melody line, after the tab line of the music line before, if any.
    const bool before = !out.empty() && out[0].rfind("[V:G] ", 0) == 0;
    const std::size_t own = before ? 1 : 0;
    check(out.size() > own && out[own] == "[V:M] " + std::string(line), "a music line without its melody line", line);
    if (stopped && n + 1 == files.at) {
      check(out.size() == own + 1, "a stopped music line wrote its tab-voice line", line);
      continue;
    }
    while (next < written.size() && !(written[next].first == n && written[next].second == out[own])) ++next;
    std::size_t after = next + 1;
    while (after < written.size() && written[after].second.rfind("w:", 0) == 0) ++after;
    check(after < written.size() && written[after].second.rfind("[V:G] ", 0) == 0 && out.size() <= own + 2,
          "a music line without one tab-voice line", line);
    const std::string& tab = written[after].second;
    for (std::size_t k = 6; k < tab.size(); ++k) {
      if (tab.compare(k, 7, "!slide!") == 0) {  // a slide, drawn into the fret after it
        k += 6;
        continue;
      }
      if (tab[k] == '[' && k + 2 < tab.size() && (tab[k + 1] == 'L' || tab[k + 1] == 'M') && tab[k + 2] == ':') {
        k = tab.find(']', k);  // an inline unit length or meter, as the melody has it
        check(k != std::string::npos, "an inline field without its bracket in a tab-voice line", tab);
        continue;
      }
      check(!kry::isLetter(tab[k]) || std::string_view("abcdefghiklxz").find(tab[k]) != std::string_view::npos,
            "a letter in a tab-voice line that is no fret letter or rest", tab);
    }
  }
  return 0;
}
