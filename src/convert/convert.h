// The conversion pass: reads the staged tune line by line and writes the
// converted tune. Header lines are copied (file fields dropped), each tune's
// first key field is followed by the directives and the two voice definitions,
// and every music line becomes a melody line and a tablature line.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/reader.h"
#include "base/stop.h"
#include "convert/chordsheet.h"
#include "convert/fingering.h"
#include "convert/lines.h"
#include "convert/pitch.h"
#include "convert/scanner.h"
#include "convert/tunelist.h"
#include "convert/tunevoices.h"

namespace kry {

// The options that shape the converted tune.
struct ConvertSettings {
  std::string capo;           // c<#>: what follows "Capo " in its line; empty: no capo line
  bool a4 = false;            // leave out the letter-paper page height
  float bottomMargin = 0.0F;  // inches; 0: no margin line
  bool rhythmFlags = true;    // "%%tabrhstyle modern", else "none"
  Instrument instrument;     // courses and tuning, transposition, capo, B on the third string
  std::string tuningName;     // shown under the title when not a standard tuning
  std::optional<TuneList> tunes;  // only these tunes of a collection; all without
  bool skip = false;          // a tune that can't be placed is left out, and the rest go on
  std::optional<int> hand;    // each tune placed whole, the hand starting at this fret (0: anywhere)
  bool chords = false;        // diagrams of the chords each tune uses, under its title
  std::string voice;          // of a tune in several voices, the one tabbed: its id, name or number; empty: the first
  bool midi = false;          // a melody line whose notes the tab leaves out is written again as the tab plays it
};

// What became of the tunes: how many were chosen (by their X: field) and how
// many of those were left out because they could not be placed.
struct ConvertSummary {
  int tunes = 0;
  int leftOut = 0;
};

// The voices of the current tune as the conversion goes. One voice, the
// tabbed one, is written as voice M with its tab as voice G under it; every
// other voice keeps its own id, staff and lines.
struct Voices {
  std::string tabbed;       // the id of the voice the tab plays; empty for a tune that names none
  bool named = false;       // `tabbed` is known: the first voice was named, or voice= chose one
  bool inTabbed = true;     // the lines go on in the tabbed voice
  std::string current;      // the id of the voice the lines go on in
  std::string first;        // with voice=, the tune's first voice, in which its music starts
  std::vector<std::string> ahead;  // with voice=, the voices before the tabbed one: their staves stand above
  std::vector<std::pair<std::string, std::string>> defined;  // the header's definitions of other voices: id, line
  std::string tabbedWords;  // the words of the tabbed voice's header definition after its id
  std::string refused;      // voice= names no voice of this tune: why
};

// Where the conversion stands between two lines: all that the lines before
// leave to the lines after. A conversion of a whole file starts from the
// default; one may also start where another ended.
struct Progress {
  TuneState tune;          // key, last written length, accidentals of the bar
  long lines = 0;          // lines read, for the place a message names
  ConvertSummary summary;
  bool inTune = false;     // an X: field has been read
  bool chosen = true;      // the lines of this tune are converted
  bool leftOut = false;    // this tune stopped and is left out with skip
  std::string number, title;  // of the current tune, for the place of a stop
  bool parts = false;      // the current tune's header has a P: line of its own
  int belowLowest = 0;     // notes of this tune below the lowest course
  std::string linesBelow;  // the lines they stand on: "12, 14"
  std::string linesOverlaid;  // the lines of this tune whose voice overlays the tab leaves out
  Symbols fileSymbols;     // the U: fields of the file's header, for every tune
  Voices voices;           // of the current tune
  LineReader kinds;        // PostScript and text blocks, whose lines are not ABC, open or not
};

// Told where the lines of the converted tune came from, as they are written:
// the typesetter names lines of the final tune, which holds the converted
// tune's lines one for one, and the run names them by the tune file's lines.
class LineOrigins {
 public:
  virtual ~LineOrigins() = default;
  // One more line of the converted tune, made from line `from` of the staged tune.
  virtual void wrote(long from) = 0;
  // A tune starts at line `line` of the staged tune, its X: field's text `number`.
  virtual void tune(long line, std::string_view number) = 0;
  // A title line in that tune's header.
  virtual void title(std::string_view title) = 0;
};

class Conversion {
 public:
  // With `fingering`, a conversion of one tune's lines that writes its notes
  // down for the tune to be placed whole, or places them as given (option pos).
  Conversion(const ConvertSettings& settings, LineSink& out, std::ostream& messages, Progress start = {},
             TuneFingering* fingering = nullptr)
      : settings_(settings), board_(settings.instrument), out_(out), messages_(messages), at_(std::move(start)),
        fingering_(fingering), sheet_(settings.instrument) {}

  // Handles one line of the staged tune.
  void line(std::string_view raw);
  // Ends the pass: the last tune is written out. Where the conversion stands.
  const Progress& finish();
  // From now on, tells `origins` where each line written came from.
  void traceOrigins(LineOrigins* origins) { origins_ = origins; }

 private:
  void tuneNumber(std::string_view line);
  void keyField(std::string_view line);
  void voiceField(std::string_view line);
  void enterVoice(std::string_view id);
  void chooseVoice();
  bool defineVoices(bool ahead);
  void scoreLine(std::string_view line);
  void musicLine(std::string_view line);
  void tabbedLine(std::string_view line);
  void flushTab();
  bool leaveOut(Stop& stop);
  void put(std::string_view head, std::string_view tail = {}) { put(at_.lines, head, tail); }
  void put(long from, std::string_view head, std::string_view tail = {});
  bool holdHeader(std::string_view raw);
  void choose(const TuneHeading& heading);
  // With skip, until the tune is whole; with chords, until its diagrams are known.
  bool holdingTune() const { return (settings_.skip && at_.inTune) || settings_.chords; }
  // With option pos or voice=, this conversion takes a tune's lines until it
  // is whole and hands them to another.
  bool holdsTunes() const { return (settings_.hand || !settings_.voice.empty()) && fingering_ == nullptr && !whole_; }
  void endTune();
  void drawChords(const std::string& tune);
  void placeTune();
  std::string where() const;

  const ConvertSettings& settings_;
  const Fretboard board_;
  LineSink& out_;
  std::ostream& messages_;
  Progress at_;
  std::string room_;  // where the scanner writes a tab-voice line
  std::vector<std::string> held_;  // with skip, the current tune's lines until it is whole
  TuneFingering* fingering_;
  std::vector<std::string> tuneLines_;  // with option pos or voice=, the lines of the tune until it is whole
  bool whole_ = false;                  // the lines handed in are a whole tune's, its voices known
  TuneVoices tuneVoices_;               // with voice=, those of the tune whose lines are handed in
  std::string pendingTab_;              // the tab line of the last melody line, until its lyrics are written
  std::string pendingPlayed_;           // with midi, the melody line as the tab plays it, after the tab line
  long pendingFrom_ = 0;                // the line it was made from
  // With x= by title, a tune's lines from its X: line to the end of its header, until it is chosen or not.
  Headings headings_;
  std::vector<std::string> header_;
  bool replaying_ = false;       // the held header lines are being converted
  bool chosenByTitle_ = false;   // the tune whose header was read last is chosen
  LineOrigins* origins_ = nullptr;
  std::vector<long> heldFrom_;   // with origins, the staged line each held line came from
  // With chords: the tune's chord symbols, and where their diagrams go among the held lines.
  ChordSheet sheet_;
  std::optional<std::size_t> chordsAt_;
  long chordsFrom_ = 0;  // the key field's line, where the diagrams come from
};

// The "%%botmargin" value: four characters, two decimals, "****" when too wide.
std::string marginField(float inches);

}  // namespace kry
