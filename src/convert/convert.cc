#include "convert/convert.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "convert/keysig.h"
#include "base/stop.h"
#include "base/abc.h"
#include "base/text.h"

namespace kry {
namespace {

bool isHeaderLine(std::string_view line) {
  return line[0] == '%' || (isLetter(line[0]) && line.size() > 1 && line[1] == ':');
}

constexpr int kKeyNotKnown = -1;

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
  ++lineNumber_;
  std::string_view line = trimRight(trimLeft(raw));
  if (line.empty()) return;  // blank lines never reach the converted tune
  if (isHeaderLine(line) && fieldIs(line, 'X')) return tuneNumber(line);
  if (!chosen_ || leftOut_) return;  // a tune not chosen, or one left out
  if (!isHeaderLine(line)) return musicLine(line);
  if (fieldIs(line, 'F')) return;  // the file field names the user's file: dropped
  if (fieldIs(line, 'K')) return keyField(line);
  if (fieldIs(line, 'T') && inTune_ && title_.empty()) title_ = trimRight(trimLeft(line.substr(2)));
  put(line);
}

// A new tune: chosen or not by its number; after one that was left out, it
// starts as a file does.
void Conversion::tuneNumber(std::string_view line) {
  endTune();
  inTune_ = true;
  chosen_ = !settings_.tunes || (kry::tuneNumber(line) && settings_.tunes->has(*kry::tuneNumber(line)));
  if (!chosen_) return;
  ++summary_.tunes;
  if (leftOut_) state_ = TuneState{};
  leftOut_ = false;
  number_ = trimRight(trimLeft(line.substr(2)));
  title_.clear();
  state_.keyCode.clear();
  state_.lastLength.clear();
  put("");
  put(line);
}

void Conversion::keyField(std::string_view line) {
  bool firstOfTune = state_.keyCode.empty();
  state_.keyCode = keyCodeOf(line);
  state_.keyIndex = getkey(state_.keyCode);
  if (!firstOfTune) {  // a change of key inside the tune
    put("V:M clef=treble");
    put(line);
    return;
  }
  // The capo and a tuning other than the standard one stand under the title, on one line.
  std::string under = settings_.capo == ' ' ? "" : std::string("Capo ").append(1, settings_.capo);
  if (!settings_.tuningName.empty()) under.append(under.empty() ? "Tuning: " : ", tuning: ").append(settings_.tuningName);
  if (!under.empty()) put("P: ", under);
  put(line);
  if (!settings_.a4) put("%%pageheight 11in");
  if (settings_.bottomMargin != 0.0F) put("%%botmargin ", marginField(settings_.bottomMargin) + "in");
  put("V:M clef=treble");
  put("%");
  put("%");
  put(settings_.board.courses().courses == 4 ? "V:G clef=spanish4tab" : "V:G clef=guitartab");
  put("%%staffsep 2cm");
  put(settings_.rhythmFlags ? "%%tabrhstyle modern" : "%%tabrhstyle none");
  put("%");
}

// A stop is preceded by the place it happened. With skip, a tune that stops is
// left out whole and the conversion goes on at the next tune.
void Conversion::musicLine(std::string_view line) {
  if (state_.keyIndex == kKeyNotKnown) throw NotOnItsOwn{};
  put("[V:M] ", line);
  // The tab-voice line is scanned straight into the converted tune, or, while
  // a tune is held, into room of its own.
  constexpr std::string_view kPrefix = "[V:G] ";
  bool holding = holdingTune();
  std::size_t most = kPrefix.size() + tabRoom(line.size());
  if (holding && room_.size() < most) room_.resize(most);
  char* room = holding ? room_.data() : out_.reserve(most);
  std::memcpy(room, kPrefix.data(), kPrefix.size());
  std::size_t written = 0;
  try {
    written = kPrefix.size() + scanLine(line, state_, settings_.board, said_, room + kPrefix.size());
  } catch (const Stop& stop) {
    messages_ << where() << '\n' << said_.str();
    said_.str("");
    if (!settings_.skip || !inTune_) throw;
    if (stop.text() != " ") messages_ << ' ' << stop.text() << '\n';
    leftOut_ = true;
    ++summary_.leftOut;
    held_.clear();
    return;
  }
  if (holding)
    held_.emplace_back(room, written);
  else
    out_.commit(written);
}

void Conversion::startAtTune(const FingerChart& chart) {
  state_.chart = chart;
  state_.keyIndex = kKeyNotKnown;
}

void Conversion::follow(Conversion& chunk) {
  endTune();  // as the chunk's first line, an X: field, does first
  lineNumber_ += chunk.lineNumber_;
  summary_.tunes += chunk.summary_.tunes;
  summary_.leftOut += chunk.summary_.leftOut;
  inTune_ = chunk.inTune_;
  chosen_ = chunk.chosen_;
  leftOut_ = chunk.leftOut_;
  number_ = chunk.number_;
  title_ = chunk.title_;
  state_.keyCode = chunk.state_.keyCode;
  if (chunk.state_.keyIndex != kKeyNotKnown) state_.keyIndex = chunk.state_.keyIndex;  // else the key goes on
  state_.lastLength = chunk.state_.lastLength;
  state_.accidentals = chunk.state_.accidentals;
  held_ = std::move(chunk.held_);  // the chunk's last tune may go on in the next
}

// With skip, a tune's lines are held until it is whole, so that a tune left
// out leaves nothing behind.
void Conversion::put(std::string_view head, std::string_view tail) {
  if (holdingTune())
    held_.push_back(std::string(head).append(tail));
  else
    out_.put(head, tail);
}

void Conversion::endTune() {
  for (const std::string& line : held_) out_.put(line);
  held_.clear();
}

ConvertSummary Conversion::finish() {
  endTune();
  return summary_;
}

// " Line 12, tune 4 (The Frost Is All Over):", without the title when the tune
// has had none yet, and only the line before any tune.
std::string Conversion::where() const {
  std::string place = " Line " + std::to_string(lineNumber_);
  if (inTune_) place += ", tune " + number_ + (title_.empty() ? "" : " (" + title_ + ")");
  return place + ":";
}

ConvertSummary convert(LineSource& in, LineSink& out, const ConvertSettings& settings, std::ostream& messages) {
  Conversion conversion(settings, out, messages);
  std::string_view line;
  while (in.next(line)) conversion.line(line);
  return conversion.finish();
}

}  // namespace kry
