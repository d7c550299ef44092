#include "convert/tunevoices.h"

#include <algorithm>
#include <cctype>

#include "base/abc.h"
#include "base/voices.h"
#include "convert/tunelist.h"

namespace kry {
namespace {

bool sameInAnyCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

}  // namespace

void TuneVoices::line(std::string_view line) {
  if (kinds_.classify(line) == LineKind::kBlock) return;
  if (line.starts_with("%%score") || line.starts_with("%%staves")) {
    std::string_view value = line.substr(std::min(line.find_first_of(" \t"), line.size()));
    for (std::string_view id : scoreVoices(value)) add(id, "");
    return;
  }
  if (line.empty() || line[0] == '%') return;
  if (isHeaderLine(line)) {
    if (fieldIs(line, 'V') && line[0] == 'V') {
      VoiceField field = readVoice(line.substr(2));
      add(field.id, field.name);
    }
    return;
  }
  music_ = true;
  for (const VoicePiece& piece : voicePieces(line))
    if (!piece.field.empty()) add(piece.voice, readVoice(piece.field.substr(3, piece.field.size() - 4)).name);
}

void TuneVoices::add(std::string_view id, std::string_view name) {
  if (id.empty()) return;
  auto known = std::ranges::find(voices_, id, &TuneVoice::id);
  if (known == voices_.end()) {
    voices_.push_back({std::string(id), std::string(name)});
  } else if (known->name.empty()) {
    known->name = name;
  }
}

std::vector<TuneVoice> TuneVoices::voices() const {
  if (voices_.empty() && music_) return {TuneVoice{}};
  return voices_;
}

std::optional<TuneVoice> TuneVoices::find(std::string_view choice) const {
  const std::vector<TuneVoice> all = voices();
  for (const TuneVoice& voice : all)
    if (!voice.id.empty() && voice.id == choice) return voice;
  for (const TuneVoice& voice : all)
    if (!voice.name.empty() && sameInAnyCase(voice.name, choice)) return voice;
  std::optional<long> number = wholeNumber(choice);
  if (number && *number >= 1 && static_cast<std::size_t>(*number) <= all.size()) return all[static_cast<std::size_t>(*number - 1)];
  return std::nullopt;
}

std::string TuneVoices::text() const {
  std::string text;
  for (const TuneVoice& voice : voices_) {
    if (!text.empty()) text += ", ";
    text += voice.id;
    if (!voice.name.empty()) text.append(" (").append(voice.name).append(")");
  }
  return text;
}

}  // namespace kry
