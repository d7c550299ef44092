#include "base/voices.h"

#include "base/reader.h"
#include "base/text.h"

namespace kry {
namespace {

// The value of `key` ("name=") among the words of `words`: quoted text
// without its quotes, or the word after the "=".
std::string_view wordValue(std::string_view words, std::string_view key) {
  for (std::size_t at = words.find(key); at != std::string_view::npos; at = words.find(key, at + 1)) {
    if (at > 0 && words[at - 1] != ' ' && words[at - 1] != '\t') continue;
    std::size_t from = at + key.size();
    if (from < words.size() && words[from] == '"') {
      std::size_t close = words.find('"', from + 1);
      return words.substr(from + 1, (close == std::string_view::npos ? words.size() : close) - from - 1);
    }
    return words.substr(from, words.find_first_of(" \t", from) - std::min(from, words.size()));
  }
  return {};
}

// Characters that are no part of a voice's id in a %%score line.
constexpr std::string_view kScoreMarks = "(){}[]|* \t";

}  // namespace

VoiceField readVoice(std::string_view value) {
  value = trim(value, kBlanksAndTabs);
  std::size_t end = std::min(value.find_first_of(" \t]"), value.size());
  VoiceField field{value.substr(0, end), {}, trim(value.substr(end), kBlanksAndTabs)};
  field.name = wordValue(field.rest, "name=");
  if (field.name.empty()) field.name = wordValue(field.rest, "nm=");
  return field;
}

std::vector<VoicePiece> voicePieces(std::string_view line) {
  static const Symbols kNone;  // which letters are decorations changes no voice
  std::vector<VoicePiece> pieces;
  VoicePiece piece;
  std::size_t start = 0;  // where the current piece's music starts
  auto close = [&](std::size_t end) {
    piece.music = line.substr(start, end - start);
    if (!piece.field.empty()) piece.music = trimLeft(piece.music, kBlanksAndTabs);
    if (!piece.field.empty() || !piece.music.empty()) pieces.push_back(piece);
  };
  MusicLine items(line, kNone);
  for (Item item; items.next(item);) {
    if (item.kind == ItemKind::kComment) break;  // the comment goes with the last piece
    if (item.kind != ItemKind::kVoice) continue;
    close(item.column);
    piece = VoicePiece{readVoice(item.text.substr(3, item.text.size() - 4)).id, item.text, {}};
    start = item.column + item.text.size();
  }
  close(line.size());
  if (pieces.empty()) pieces.push_back({});
  return pieces;
}

std::vector<std::string_view> scoreVoices(std::string_view value) {
  std::vector<std::string_view> voices;
  for (std::size_t i = value.find_first_not_of(kScoreMarks); i < value.size(); i = value.find_first_not_of(kScoreMarks, i)) {
    std::size_t end = std::min(value.find_first_of(kScoreMarks, i), value.size());
    voices.push_back(value.substr(i, end - i));
    i = end;
  }
  return voices;
}

std::string scoreWithTab(std::string_view value, std::string_view tabbed, std::string_view melody,
                         std::string_view tab) {
  std::string out;
  int depth = 0;             // within parentheses: voices on one staff
  bool tabAfterParen = false;  // the tab goes after the parentheses that close next at depth 0
  for (std::size_t i = 0; i < value.size();) {
    char c = value[i];
    if (kScoreMarks.find(c) != std::string_view::npos) {
      out += c;
      ++i;
      if (c == '(') ++depth;
      if (c == ')' && depth > 0 && --depth == 0 && tabAfterParen) {
        out.append(" ").append(tab);
        tabAfterParen = false;
      }
      continue;
    }
    std::size_t end = std::min(value.find_first_of(kScoreMarks, i), value.size());
    std::string_view id = value.substr(i, end - i);
    if (id == tabbed) {
      out += melody;
      if (depth > 0)
        tabAfterParen = true;
      else
        out.append(" ").append(tab);
    } else {
      out += id;
    }
    i = end;
  }
  return out;
}

}  // namespace kry
