#include "run/places.h"

#include <map>
#include <set>

#include "base/abc.h"
#include "base/contract.h"
#include "base/stop.h"
#include "run/messages.h"

namespace kry {
namespace {

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
std::string placeText(const std::string& file, const Origin& origin) {
  std::string text = " " + file + " line " + std::to_string(origin.line);
  if (origin.tune) {
    text += ", tune " + origin.tune->number;
    if (!origin.tune->titles.empty()) text += " (" + origin.tune->titles[0] + ")";
  }
  return text + ":";
}

}  // namespace

bool TypesetterMessages::take(std::string_view line) {
  std::optional<TypesetterMessage> message = readTypesetterMessage(line);
  if (message) messages_.push_back(std::move(*message));
  return message.has_value();
}

void TypesetterMessages::passOn(std::ostream& out, const std::string& file, OriginLedger& origins) const {
  if (messages_.empty()) return;
  std::set<long> finalLines;
  for (const TypesetterMessage& message : messages_) finalLines.insert(message.line);
  std::map<long, Origin> found = origins.find(finalLines);
  for (const TypesetterMessage& message : messages_) {
    auto origin = found.find(message.line);
    std::string place = origin != found.end() ? placeText(file, origin->second) : " " + file + ":";
    out << place << ' ' << message.program << ": " << message.text << '\n';
  }
  std::size_t count = messages_.size();
  out << ' ' << count << (count == 1 ? " message" : " messages") << " from the typesetter about " << file << ".\n";
}

}  // namespace kry
