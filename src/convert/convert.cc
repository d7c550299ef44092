#include "convert/convert.h"

#include <cstdio>

#include "convert/keysig.h"
#include "run/text.h"

namespace kry {
namespace {

bool isHeaderLine(std::string_view line) {
  return line[0] == '%' || (isLetter(line[0]) && line.size() > 1 && line[1] == ':');
}

bool fieldIs(std::string_view line, char upper) {
  return (line[0] == upper || line[0] == upper + 32) && line.size() > 1 && line[1] == ':';
}

}  // namespace

std::string marginField(float inches) {
  char text[64];
  std::snprintf(text, sizeof text, "%4.2f", static_cast<double>(inches));
  std::string field(text);
  return field.size() > 4 ? std::string("****") : field;
}

void Conversion::line(std::string_view raw) {
  std::string_view line = trimRight(trimLeft(raw));
  if (line.empty()) return;  // blank lines never reach the converted tune
  if (!isHeaderLine(line)) return musicLine(line);
  if (fieldIs(line, 'F')) return;  // the file field names the user's file: dropped
  if (fieldIs(line, 'X')) {        // a new tune
    state_.keyCode.clear();
    state_.lastLength.clear();
    out_.put("");
    out_.put(line);
    return;
  }
  if (fieldIs(line, 'K')) return keyField(line);
  out_.put(line);
}

void Conversion::keyField(std::string_view line) {
  bool firstOfTune = state_.keyCode.empty();
  state_.keyCode = keyCodeOf(line);
  state_.keyIndex = getkey(state_.keyCode);
  if (!firstOfTune) {  // a change of key inside the tune
    out_.put("V:M clef=treble");
    out_.put(line);
    return;
  }
  if (settings_.capo != ' ') out_.put("P: Capo ", std::string(1, settings_.capo));
  out_.put(line);
  if (!settings_.a4) out_.put("%%pageheight 11in");
  if (settings_.bottomMargin != 0.0F)
    out_.put("%%botmargin ", marginField(settings_.bottomMargin) + "in");
  out_.put("V:M clef=treble");
  out_.put("%");
  out_.put("%");
  out_.put(settings_.board.mandolin ? "V:G clef=spanish4tab" : "V:G clef=guitartab");
  out_.put("%%staffsep 2cm");
  out_.put(settings_.rhythmFlags ? "%%tabrhstyle modern" : "%%tabrhstyle none");
  out_.put("%");
}

void Conversion::musicLine(std::string_view line) {
  out_.put("[V:M] ", line);
  scanLine(line, state_, settings_.board, messages_, tab_);
  out_.put("[V:G] ", tab_);
}

void convert(LineSource& in, LineSink& out, const ConvertSettings& settings, std::ostream& messages) {
  Conversion conversion(settings, out, messages);
  std::string line;
  while (in.next(line)) conversion.line(line);
}

}  // namespace kry
