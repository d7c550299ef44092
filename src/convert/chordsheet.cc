#include "convert/chordsheet.h"

#include <algorithm>

#include "base/chordline.h"

namespace kry {
namespace {

// kry's pitch 1, the E below middle C, as a MIDI note number.
constexpr int kMidiOfPitchOne = 52;

// The chord's notes and bass, as a key that names the shape.
std::string notesKey(const Chord& chord) {
  std::string key = std::to_string(chord.root) + ":" + std::to_string(chord.bass);
  for (int interval : chord.intervals) {
    key += ',';  // piece by piece: GCC 12 at -O3 warns falsely of overlapping copies on a literal plus a string
    key += std::to_string(interval);
  }
  return key;
}

}  // namespace

std::vector<ChordString> diagramStrings(const Instrument& instrument) {
  const Tuning& tuning = instrument.courses();
  std::vector<ChordString> strings;
  for (int course = tuning.courses; course >= 1; --course)
    strings.push_back({tuning.open[static_cast<std::size_t>(course - 1)] - 1 + kMidiOfPitchOne,
                       tuning.nut[static_cast<std::size_t>(course - 1)]});
  return strings;
}

ChordSheet::ChordSheet(const Instrument& instrument)
    : strings_(diagramStrings(instrument)), transposition_(instrument.transposition), capo_(instrument.capo) {}

void ChordSheet::line(std::string_view music) {
  for (std::string_view text : quotedTexts(music)) {
    Symbol symbol = readch(text);
    if (symbol.kind == SymbolKind::kUnknown) {
      if (std::find(unknown_.begin(), unknown_.end(), symbol.chord.name) == unknown_.end())
        unknown_.push_back(symbol.chord.name);
    } else if (symbol.kind == SymbolKind::kChord) {
      // The accompanist plays the chords where the tab plays the tune: transposed with it.
      Chord chord = transposed(symbol.chord, transposition_);
      if (std::none_of(chords_.begin(), chords_.end(), [&](const Chord& known) { return known.sameAs(chord); }))
        chords_.push_back(chord);
    }
  }
}

ChordSheet::Drawn ChordSheet::finish() {
  Drawn drawn;
  for (const Chord& chord : chords_) {
    // With a capo the hand makes the shape of the chord that lies as many half steps lower, behind the capo.
    Chord behind = transposed(chord, -capo_);
    std::string key = notesKey(behind);
    auto found = shapes_.find(key);
    if (found == shapes_.end()) found = shapes_.emplace(key, shape(behind, strings_)).first;
    if (!found->second) {
      drawn.missing.push_back(chord.name);
      continue;
    }
    ChordDiagram diagram{chord.name, {}};
    for (std::size_t s = 0; s < strings_.size(); ++s) diagram.strings.push_back({(*found->second)[s], strings_[s].nut});
    drawn.lines.push_back(chordLine(diagram));
  }
  drawn.missing.insert(drawn.missing.end(), unknown_.begin(), unknown_.end());
  clear();
  return drawn;
}

void ChordSheet::clear() {
  chords_.clear();
  unknown_.clear();
}

}  // namespace kry
