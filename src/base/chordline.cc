#include "base/chordline.h"

#include "base/abc.h"
#include "base/text.h"

namespace kry {
namespace {

// The most strings a diagram draws, and the highest fret it names.
constexpr std::size_t kMostStrings = 6;
constexpr long kHighestFret = 24;

// A fret as the line writes it: "x", or a whole number no higher than the highest.
std::optional<int> fretWord(std::string_view word) {
  if (word == "x") return -1;
  std::optional<long> fret = wholeNumber(word);
  if (!fret || *fret > kHighestFret) return std::nullopt;
  return static_cast<int>(*fret);
}

}  // namespace

std::string chordLine(const ChordDiagram& diagram) {
  std::string line = std::string(kChordDirective) + " " + diagram.name;
  for (const DiagramString& string : diagram.strings) {
    line += ' ';
    line += string.fret < 0 ? "x" : std::to_string(string.fret);
    if (string.nut == 0) continue;
    line += '@';  // piece by piece: GCC 12 at -O3 warns falsely of overlapping copies on a literal plus a string
    line += std::to_string(string.nut);
  }
  return line;
}

std::optional<ChordDiagram> readChordLine(std::string_view line) {
  if (!line.starts_with(kChordDirective)) return std::nullopt;
  line.remove_prefix(kChordDirective.size());
  if (line.empty() || (line[0] != ' ' && line[0] != '\t')) return std::nullopt;
  std::vector<std::string_view> words;
  for (std::size_t at = 0; at < line.size();) {
    at = line.find_first_not_of(kBlanksAndTabs, at);
    if (at == std::string_view::npos) break;
    std::size_t end = std::min(line.find_first_of(kBlanksAndTabs, at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  if (words.size() < 2 || words.size() > kMostStrings + 1) return std::nullopt;
  ChordDiagram diagram;
  diagram.name = words[0];
  for (std::size_t k = 1; k < words.size(); ++k) {
    std::string_view word = words[k];
    std::size_t at = word.find('@');
    std::optional<int> fret = fretWord(word.substr(0, at));
    std::optional<int> nut = at == std::string_view::npos ? 0 : fretWord(word.substr(at + 1));
    if (!fret || !nut || *nut < 0) return std::nullopt;
    diagram.strings.push_back({*fret, *nut});
  }
  return diagram;
}

}  // namespace kry
