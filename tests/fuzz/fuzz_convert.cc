// Fuzz target: a whole tune through the conversion pass, with an option state
// taken from the input's first four bytes. A Stop is the conversion's way to
// end a run (a bad accidental, an incomplete chord, a note with no place);
// anything else that escapes, a sanitizer report or a broken invariant is a
// finding.
//
// Input layout:
//   byte 0  transposition: byte % 23 - 11
//   byte 1  flags: 1 mandolin, 2 b4, 4 a4, 8 rhythm flags off, 16 bottom margin
//   byte 2  capo character (blank: none)
//   byte 3  bottom margin in eighths of an inch, when flag 16 is set
//   rest    the tune, as the staged copy holds it
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert.h"
#include "fuzz_support.h"
#include "run/stop.h"
#include "run/text.h"

namespace {

using kry_fuzz::check;
using kry_fuzz::VectorSource;

constexpr std::size_t kHeaderBytes = 4;

kry::ConvertSettings settingsFrom(const std::uint8_t* data, std::size_t size) {
  std::uint8_t header[kHeaderBytes] = {11, 0, ' ', 0};
  for (std::size_t i = 0; i < kHeaderBytes && i < size; ++i) header[i] = data[i];
  kry::ConvertSettings settings;
  settings.board.transposition = header[0] % 23 - 11;
  settings.board.mandolin = (header[1] & 1) != 0;
  settings.board.bOnThirdString = (header[1] & 2) != 0;
  settings.a4 = (header[1] & 4) != 0;
  settings.rhythmFlags = (header[1] & 8) == 0;
  settings.capo = static_cast<char>(header[2]);
  if ((header[1] & 16) != 0) settings.bottomMargin = static_cast<float>(header[3]) / 8.0F;
  return settings;
}

class TracingSink : public kry::LineSink {
 public:
  explicit TracingSink(const VectorSource& source, std::size_t lineCount)
      : source_(source), byLine(lineCount) {}
  void put(std::string_view head, std::string_view tail) override {
    std::string line(head);
    line += tail;
    byLine.at(source_.current()).push_back(std::move(line));
  }

 private:
  const VectorSource& source_;

 public:
  std::vector<std::vector<std::string>> byLine;  // what each input line gave
};

bool isHeader(std::string_view t) {
  return t[0] == '%' || (kry::isLetter(t[0]) && t.size() > 1 && t[1] == ':');
}

bool isField(std::string_view t, char upper) {
  return (t[0] == upper || t[0] == upper + 32) && t.size() > 1 && t[1] == ':';
}

// The lines the first key field of a tune gives.
std::vector<std::string> keyBlock(std::string_view t, const kry::ConvertSettings& s) {
  std::vector<std::string> block;
  if (s.capo != ' ') block.push_back(std::string("P: Capo ") + s.capo);
  block.emplace_back(t);
  if (!s.a4) block.emplace_back("%%pageheight 11in");
  if (s.bottomMargin != 0.0F) block.push_back("%%botmargin " + kry::marginField(s.bottomMargin) + "in");
  block.emplace_back("V:M clef=treble");
  block.emplace_back("%");
  block.emplace_back("%");
  block.emplace_back(s.board.mandolin ? "V:G clef=spanish4tab" : "V:G clef=guitartab");
  block.emplace_back("%%staffsep 2cm");
  block.emplace_back(s.rhythmFlags ? "%%tabrhstyle modern" : "%%tabrhstyle none");
  block.emplace_back("%");
  return block;
}

// A tab-voice line holds no capital letters, and its only small letters are
// fret letters and the rest "z": every letter of a music line is a note.
void checkTabText(std::string_view tab) {
  for (char c : tab) {
    check(!(c >= 'A' && c <= 'Z'), "capital letter in a tab-voice line", tab);
    if (c >= 'a' && c <= 'z')
      check(std::string_view("abcdefghiklz").find(c) != std::string_view::npos,
            "small letter that is no fret letter in a tab-voice line", tab);
  }
}

void checkStop(const kry::Stop& stop, const std::string& messages) {
  check(!stop.isIoError(), "the conversion raised an input/output failure", stop.text());
  check(stop.status() == kry::kExitStopped, "stop with an exit status other than 1", stop.text());
  const std::string& text = stop.text();
  if (text == " ") {
    check(messages.rfind(" Note not available: ", 0) == 0 && messages.back() == '\n' &&
              messages.find('\n') == messages.size() - 1,
          "a blank stop without exactly one not-available line", messages);
    return;
  }
  check(text == "Bad accidental" || text == "Incomplete chord", "unknown stop text", text);
  check(messages.empty(), "messages written before a scanner stop", messages);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kry::ConvertSettings settings = settingsFrom(data, size);
  std::string_view tune;
  if (size > kHeaderBytes) tune = {reinterpret_cast<const char*>(data) + kHeaderBytes, size - kHeaderBytes};
  std::vector<std::string> lines = kry_fuzz::splitLines(tune);

  VectorSource source(lines);
  TracingSink sink(source, lines.size());
  std::ostringstream messages;
  bool stopped = false;
  try {
    kry::convert(source, sink, settings, messages);
  } catch (const kry::Stop& stop) {
    stopped = true;
    checkStop(stop, messages.str());
  }
  if (!stopped) check(messages.str().empty(), "messages written by a conversion that went through", messages.str());

  std::size_t handled = stopped ? source.current() + 1 : lines.size();
  bool firstKeyOfTune = true;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::vector<std::string>& out = sink.byLine[n];
    if (n >= handled) {
      check(out.empty(), "output for a line after the stop");
      continue;
    }
    std::string_view t = kry::trimRight(kry::trimLeft(lines[n]));
    bool stoppedHere = stopped && n + 1 == handled;
    if (t.empty()) {
      check(out.empty(), "a blank line reached the converted tune");
    } else if (!isHeader(t)) {
      std::string melody = "[V:M] " + std::string(t);
      check(!out.empty() && out[0] == melody, "music line without its melody line", t);
      if (stoppedHere) {
        check(out.size() == 1, "a stopped music line wrote its tab-voice line", t);
      } else {
        check(out.size() == 2, "music line not followed by exactly one tab-voice line", t);
        check(out[1].rfind("[V:G] ", 0) == 0, "tab-voice line without its prefix", out[1]);
        checkTabText(std::string_view(out[1]).substr(6));
      }
    } else {
      check(!stoppedHere, "a stop on a header line", t);
      if (isField(t, 'F')) {
        check(out.empty(), "a file field reached the converted tune", t);
      } else if (isField(t, 'X')) {
        check(out.size() == 2 && out[0].empty() && out[1] == t, "tune number not after an empty line", t);
        firstKeyOfTune = true;
      } else if (isField(t, 'K')) {
        std::vector<std::string> expected =
            firstKeyOfTune ? keyBlock(t, settings)
                           : std::vector<std::string>{"V:M clef=treble", std::string(t)};
        check(out == expected, "key field not followed by its block", t);
        firstKeyOfTune = false;
      } else {
        check(out.size() == 1 && out[0] == t, "header line not copied as it is", t);
      }
    }
  }
  return 0;
}
