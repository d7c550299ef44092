#include "run/places.h"

#include <map>
#include <set>

#include "base/abc.h"
#include "base/contract.h"
#include "base/stop.h"
#include "run/chunks.h"
#include "run/messages.h"

namespace kry {
namespace {

// Where a line of the tune file lies: its number, and the tune it is in.
struct LinePlace {
  long line = 0;
  std::optional<TuneHeading> tune;  // none before the first tune
};

// Where the conversion's lines go when only their origins are wanted.
struct Nowhere : LineSink {
  void put(std::string_view, std::string_view) override {}
};

// The line of the staged tune that each of `lines` of the final tune came
// from: the staged tune converted again, in order, as the run converted it.
std::map<long, long> originsOf(const std::set<long>& lines, const ConvertSettings& settings, ByteSource& staged) {
  LineOrigins origins(lines);
  Nowhere nowhere;
  std::ostream quiet(nullptr);  // what it says was said the first time
  Conversion conversion(settings, nowhere, quiet);
  conversion.traceOrigins(&origins);
  try {
    eachLine(staged, [&](std::string_view line) { conversion.line(line); });
    conversion.finish();
  } catch (const Stop&) {  // it stops where the run stopped: with skip, never
  }
  return origins.found();
}

// The tune each of `lines` of the staged tune lies in: the last whose X: line
// is at or before it, with the heading its header gives it.
std::map<long, LinePlace> tunesOf(const std::set<long>& lines, ByteSource& staged) {
  std::map<long, LinePlace> places;
  for (long line : lines) places[line].line = line;
  Headings headings;
  std::optional<TuneHeading> tune;  // the heading of the tune the lines read last are in, once whole
  long tuneStart = 0;               // its X: line; 0 before the first tune
  auto name = [&](long before) {    // the lines from tuneStart up to `before` lie in `tune`
    if (tuneStart == 0) return;
    for (auto at = places.lower_bound(tuneStart); at != places.end() && at->first < before; ++at) at->second.tune = tune;
  };
  long number = 0;
  eachLine(staged, [&](std::string_view line) {
    ++number;
    bool wasOpen = headings.open();
    std::optional<TuneHeading> whole = headings.line(line);
    if (whole) tune = whole;
    if (headings.open() && (!wasOpen || whole)) {  // an X: line: a new tune starts here
      name(number);
      tune.reset();
      tuneStart = number;
    }
  });
  if (std::optional<TuneHeading> whole = headings.finish()) tune = whole;
  name(places.empty() ? 0 : places.rbegin()->first + 1);
  return places;
}

// A line of the typesetter's error stream read as a message about a line of
// the final tune; nothing for any other line.
std::optional<TypesetterMessage> readTypesetterMessage(std::string_view line) {
  // "abctab2ps: TEMP.ABC line N: text" and "abcm2ps: TEMP.ABC:N: text"
  const std::string ours = std::string(contract::kTypesetter) + ": ";
  const std::string engraver = std::string("abcm2ps: ") + kFinalTune + ":";
  TypesetterMessage message;
  std::size_t at = 0;
  if (line.starts_with(ours)) {
    std::optional<contract::PlacedMessage> placed = contract::readPlacedMessage(line.substr(ours.size()), kFinalTune);
    if (!placed) return std::nullopt;
    message.program = kTypesetter;
    message.line = placed->line;
    message.text = placed->text;
    return message;
  }
  if (line.starts_with(engraver)) {
    message.program = "abcm2ps";
    at = engraver.size();
  } else {
    return std::nullopt;
  }
  std::optional<long> number = readNumber(line, at);
  if (!number || *number < 1 || line.substr(at, 2) != ": ") return std::nullopt;
  message.line = *number;
  message.text = line.substr(at + 2);
  return message;
}

// " jigs.abc line 571, tune 44 (The Title):", the tune named by its first title.
std::string placeText(const std::string& file, const LinePlace& place) {
  std::string text = " " + file + " line " + std::to_string(place.line);
  if (place.tune) {
    text += ", tune " + place.tune->number;
    if (!place.tune->titles.empty()) text += " (" + place.tune->titles[0] + ")";
  }
  return text + ":";
}

}  // namespace

bool TypesetterMessages::take(std::string_view line) {
  std::optional<TypesetterMessage> message = readTypesetterMessage(line);
  if (message) messages_.push_back(std::move(*message));
  return message.has_value();
}

void TypesetterMessages::passOn(std::ostream& out, const std::string& file, const ConvertSettings& settings,
                                const std::function<std::unique_ptr<ByteSource>()>& openStaged) const {
  if (messages_.empty()) return;
  std::set<long> finalLines;
  for (const TypesetterMessage& message : messages_) finalLines.insert(message.line);
  std::map<long, long> origins;
  std::map<long, LinePlace> places;
  if (std::unique_ptr<ByteSource> staged = openStaged()) origins = originsOf(finalLines, settings, *staged);
  std::set<long> stagedLines;
  for (const auto& [final, from] : origins) stagedLines.insert(from);
  if (std::unique_ptr<ByteSource> staged = openStaged()) places = tunesOf(stagedLines, *staged);
  for (const TypesetterMessage& message : messages_) {
    auto origin = origins.find(message.line);
    std::string place = " " + file + ":";
    if (origin != origins.end()) {
      auto found = places.find(origin->second);
      place = placeText(file, found != places.end() ? found->second : LinePlace{origin->second, std::nullopt});
    }
    out << place << ' ' << message.program << ": " << message.text << '\n';
  }
  std::size_t count = messages_.size();
  out << ' ' << count << (count == 1 ? " message" : " messages") << " from the typesetter about " << file << ".\n";
}

}  // namespace kry
