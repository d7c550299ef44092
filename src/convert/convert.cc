#include "convert/convert.h"

#include <cstdio>
#include <sstream>

#include "convert/keysig.h"
#include "base/stop.h"
#include "base/abc.h"
#include "base/contract.h"
#include "base/text.h"
#include "base/voices.h"

namespace kry {
namespace {

// Adds line `number` to a list of the lines of a tune: "12, 14".
void addLine(std::string& lines, long number) { lines += (lines.empty() ? "" : ", ") + std::to_string(number); }

}  // namespace

std::string marginField(float inches) {
  char text[64];
  std::snprintf(text, sizeof text, "%4.2f", static_cast<double>(inches));
  std::string field(text);
  return field.size() > 4 ? std::string("****") : field;
}

void Conversion::line(std::string_view raw) {
  if (holdsTunes()) {
    // Option pos: a tune's lines wait until it is whole, for its notes to be
    // placed together; voice=: for its voices to be known.
    std::string_view line = trim(raw);
    if (isHeaderLine(line) && fieldIs(line, 'X')) placeTune();
    tuneLines_.emplace_back(raw);
    return;
  }
  if (settings_.tunes && settings_.tunes->byTitle() && !replaying_ && holdHeader(raw)) return;
  ++at_.lines;
  if (raw.size() > kLongestLine) {
    Stop tooLong("A line longer than 1 MiB is no line of a tune; break it into lines.", kExitStopped);
    if (!leaveOut(tooLong)) throw tooLong;
    return;
  }
  // A NUL byte is no character of ABC, and abcm2ps would end the line at it:
  // it goes, and the line is named.
  std::string withoutNul;
  if (raw.find('\0') != std::string_view::npos) {
    withoutNul = raw;
    std::erase(withoutNul, '\0');
    raw = withoutNul;
    messages_ << where() << " a NUL byte (character code 0) is left out of the line\n";
  }
  std::string_view line = trim(raw);
  // A tab line waits under its melody line for the lyrics that follow it, and no more.
  if (!pendingTab_.empty() && !line.empty() && !line.starts_with("w:")) flushTab();
  if (at_.kinds.classify(line) == LineKind::kBlock) {  // PostScript or text of the file's own: passed on untouched
    if (at_.chosen && !at_.leftOut) put(raw);
    return;
  }
  if (line.empty()) return;  // blank lines never reach the converted tune
  if (isHeaderLine(line) && fieldIs(line, 'X')) return tuneNumber(line);
  if (!at_.chosen || at_.leftOut) return;  // a tune not chosen, or one left out
  try {
    if (!isHeaderLine(line)) return musicLine(line);
    if (fieldIs(line, 'F')) return;  // the file field names the user's file: dropped
    if (fieldIs(line, 'K')) return keyField(line);
    if (fieldIs(line, 'V')) return voiceField(line);
    if (line.starts_with("%%score") || line.starts_with("%%staves")) return scoreLine(line);
    if (fieldIs(line, 'T') && at_.inTune && at_.title.empty()) at_.title = trim(line.substr(2));
    if (fieldIs(line, 'T') && at_.inTune && at_.tune.keyCode.empty() && origins_ != nullptr)
      origins_->title(trim(line.substr(2)));
    if (fieldIs(line, 'P') && at_.inTune && at_.tune.keyCode.empty()) at_.parts = true;
    if (fieldIs(line, 'U')) {  // a letter for a decoration, to the end of the tune or, before it, of the file
      at_.tune.symbols.define(line.substr(2));
      if (!at_.inTune) at_.fileSymbols.define(line.substr(2));
    }
    put(line);
  } catch (Stop& stop) {
    if (!leaveOut(stop)) throw;
  }
}

// x= by title: a tune is chosen once its header has been read, so its lines
// wait from its X: line to the end of its header; then they are converted as
// any tune's are. False for a line that does not wait.
bool Conversion::holdHeader(std::string_view raw) {
  bool wasOpen = headings_.open();
  std::optional<TuneHeading> whole = headings_.line(raw);
  if (!wasOpen && !headings_.open()) return false;
  if (whole && headings_.open()) choose(*whole);  // a new tune ends a header that had no end of its own
  header_.emplace_back(raw);
  if (whole && !headings_.open()) choose(*whole);
  return true;
}

// Chooses the tune whose header was held, and converts the header's lines.
void Conversion::choose(const TuneHeading& heading) {
  chosenByTitle_ = settings_.tunes->chooses(heading);
  std::vector<std::string> lines = std::move(header_);
  header_.clear();
  replaying_ = true;
  for (const std::string& held : lines) line(held);
  replaying_ = false;
}

// A new tune: chosen or not by its number, or by its titles; after one that
// was left out, it starts as a file does.
void Conversion::tuneNumber(std::string_view line) {
  endTune();
  at_.inTune = true;
  std::optional<long> number = kry::tuneNumber(line);
  at_.chosen = !settings_.tunes || (settings_.tunes->byTitle() ? chosenByTitle_ : number && settings_.tunes->has(*number));
  if (!at_.chosen) return;
  ++at_.summary.tunes;
  if (at_.leftOut) at_.tune = TuneState{};
  at_.leftOut = false;
  at_.number = trim(line.substr(2));
  if (origins_ != nullptr) origins_->tune(at_.lines, at_.number);
  at_.title.clear();
  at_.parts = false;
  at_.tune.keyCode.clear();
  at_.tune.lastLength.clear();
  at_.tune.octave = 0;
  at_.tune.transpose = 0;
  at_.tune.tied.clear();
  at_.tune.overlay = false;
  at_.tune.symbols = at_.fileSymbols;
  chooseVoice();
  put("");
  put(line);
}

void Conversion::keyField(std::string_view line) {
  TuneState& tune = at_.tune;
  bool firstOfTune = tune.keyCode.empty();
  if (firstOfTune && !at_.voices.refused.empty()) throw Stop::refusal(at_.voices.refused);
  if (!firstOfTune && !at_.voices.inTabbed) return put(line);  // the key of another voice
  tune.keyCode = keyCodeOf(line);
  tune.keyIndex = getkey(tune.keyCode);
  tune.octave = octaveOf(line.substr(2)).value_or(tune.octave);
  tune.transpose = transposeOf(line.substr(2)).value_or(tune.transpose);
  if (!firstOfTune) {  // a change of key inside the tune
    put(contract::kMelodyField);
    put(line);
    return;
  }
  // The capo and a tuning other than the standard one stand under the title,
  // on one line: a parts line where the tune has none of its own, else a
  // line of text after it, since abcm2ps prints a header's last P: alone.
  std::string under = settings_.instrument.capo > 0 ? "Capo " + std::to_string(settings_.instrument.capo)
                      : settings_.capo.empty()  ? ""
                                                : "Capo " + settings_.capo;
  if (!settings_.tuningName.empty()) under.append(under.empty() ? "Tuning: " : ", tuning: ").append(settings_.tuningName);
  // With octave=N the tab plays the notes away from the melody staff's: the line says how far.
  if (int octaves = settings_.instrument.octaves; octaves != 0)
    under.append(under.empty() ? "Tab " : ", tab ")
        .append(octaves == 1 || octaves == -1 ? "an octave " : "two octaves ")
        .append(octaves > 0 ? "up" : "down");
  if (!under.empty() && !at_.parts) put("P: ", under);
  put(line);
  if (!under.empty() && at_.parts) put("%%text ", under);
  if (!settings_.a4) put("%%pageheight 11in");
  if (settings_.bottomMargin != 0.0F) put("%%botmargin ", marginField(settings_.bottomMargin) + "in");
  defineVoices(true);
  const std::string& words = at_.voices.tabbedWords;  // the tabbed voice's own clef, name, octave...
  put(words.find("clef=") == std::string::npos ? contract::kMelodyField : contract::kMelodyVoiceField,
      words.empty() ? "" : " " + words);
  put("%");
  put("%");
  // One tab line a course: six, five (the banjo's) or four.
  const int courses = settings_.instrument.courses().courses;
  put(courses == 4 ? contract::kTabFieldFourCourses : courses == 5 ? contract::kTabFieldFiveCourses : contract::kTabFieldSixCourses);
  put("%%staffsep 2cm");
  put(settings_.rhythmFlags ? "%%tabrhstyle modern" : "%%tabrhstyle none");
  put("%");
  // The body starts in the tune's first voice.
  Voices& v = at_.voices;
  v.current = v.first.empty() ? v.tabbed : v.first;
  v.inTabbed = !v.named || v.current == v.tabbed;
  if (defineVoices(false)) put(v.inTabbed ? std::string(contract::kMelodyVoiceField) : "V:" + v.current);
  if (settings_.chords) {  // the diagrams stand after the header block, once the tune is whole
    chordsAt_ = held_.size();
    chordsFrom_ = at_.lines;
  }
}

// A V: field: the tune goes on in the voice it names. In the header it
// defines the voice, and waits for the voice block after the key field; in
// the body the tabbed voice is written as M, and every other as it is. The
// octave= of the tabbed voice holds for the notes after it.
void Conversion::voiceField(std::string_view line) {
  VoiceField field = readVoice(line.substr(2));
  enterVoice(field.id);
  Voices& v = at_.voices;
  if (v.inTabbed) {
    at_.tune.octave = octaveOf(field.rest).value_or(at_.tune.octave);
    at_.tune.transpose = transposeOf(field.rest).value_or(at_.tune.transpose);
  }
  if (at_.tune.keyCode.empty() && at_.inTune) {
    if (v.inTabbed)
      v.tabbedWords = field.rest;
    else
      v.defined.emplace_back(field.id, line);
    return;
  }
  if (v.inTabbed) return put(contract::kMelodyVoiceField, field.rest.empty() ? "" : " " + std::string(field.rest));
  put(line);
}

// The tune goes on in the voice `id`; the first voice named is the tabbed
// one, unless voice= chose another.
void Conversion::enterVoice(std::string_view id) {
  Voices& v = at_.voices;
  if (!v.named) {
    v.tabbed = id;
    v.named = true;
  }
  v.current = id;
  v.inTabbed = id == v.tabbed;
}

// At a new tune: with voice=, the voice it names among the tune's, read
// ahead; the tune is refused at its key field when there is none such.
void Conversion::chooseVoice() {
  Voices& v = at_.voices;
  v = Voices{};
  if (settings_.voice.empty() || !whole_) return;
  std::vector<TuneVoice> all = tuneVoices_.voices();
  if (!all.empty()) v.first = v.current = all[0].id;
  std::optional<TuneVoice> chosen = tuneVoices_.find(settings_.voice);
  if (!chosen) {
    v.refused = " No voice " + settings_.voice + " in this tune; " +
                (all.size() == 1 && all[0].id.empty() ? std::string("it has one voice, voice=1")
                                                      : "its voices: " + tuneVoices_.text()) +
                ".\n";
    return;
  }
  v.tabbed = chosen->id;
  v.named = true;
  for (const TuneVoice& voice : all) {
    if (voice.id == chosen->id) break;
    v.ahead.push_back(voice.id);
  }
  v.inTabbed = v.current == v.tabbed;
}

// The header's definitions of the voices other than the tabbed one: with
// `ahead`, of those whose staves stand above it (a voice the header does
// not define is named alone, so that its staff is made there), else of the
// rest. Whether any line was written.
bool Conversion::defineVoices(bool ahead) {
  Voices& v = at_.voices;
  auto isAhead = [&](const std::string& id) { return std::ranges::find(v.ahead, id) != v.ahead.end(); };
  bool wrote = false;
  if (ahead) {
    for (const std::string& id : v.ahead) {
      auto def = std::ranges::find(v.defined, id, &std::pair<std::string, std::string>::first);
      put(def != v.defined.end() ? def->second : "V:" + id);
      wrote = true;
    }
    return wrote;
  }
  for (const auto& [id, line] : v.defined) {
    if (isAhead(id)) continue;
    put(line);
    wrote = true;
  }
  v.defined.clear();
  return wrote;
}

// %%score or %%staves: the tab staff follows the tabbed voice's, within its
// brace or bracket. Before any voice is named, the first one it lists is
// the tabbed voice.
void Conversion::scoreLine(std::string_view line) {
  std::size_t space = std::min(line.find_first_of(" \t"), line.size());
  std::string_view value = line.substr(space);
  Voices& v = at_.voices;
  std::vector<std::string_view> listed = scoreVoices(value);
  if (!v.named && !listed.empty()) {
    v.tabbed = listed[0];
    v.named = true;
  }
  put(line.substr(0, space), " " + scoreWithTab(trim(value, kBlanksAndTabs), v.tabbed, "M", "G"));
}

// A music line, piece by piece where it changes voice: the tabbed voice's
// music becomes a melody line and a tab line, every other voice's stays
// as it is, in its own voice.
void Conversion::musicLine(std::string_view line) {
  for (const VoicePiece& piece : voicePieces(line)) {
    if (!piece.field.empty()) enterVoice(piece.voice);
    const Voices& v = at_.voices;
    if (v.inTabbed) {
      if (piece.music.empty())
        put(contract::kMelodyVoiceField);
      else
        tabbedLine(piece.music);
      continue;
    }
    flushTab();  // under its melody line, before another voice's music
    if (piece.music.empty())
      put(piece.field);
    else
      put(piece.field.empty() ? "[V:" + v.current + "]" : std::string(piece.field), " " + std::string(piece.music));
  }
}

// The tabbed voice's music: its melody line, and its tab line, which waits
// for the lyrics of the melody line to be written under it first.
void Conversion::tabbedLine(std::string_view line) {
  put(contract::kMelodyLineStart, line);
  if (settings_.chords) sheet_.line(line);
  LeftOut leftOut;
  std::string_view tab = scanLine(line, at_.tune, board_, room_, leftOut, fingering_);
  pendingTab_.assign(contract::kTabLineStart).append(tab);
  pendingPlayed_.clear();
  if (settings_.midi && !leftOut.silenced.empty()) pendingPlayed_.assign(kAsPlayed).append(asPlayed(line, leftOut.silenced));
  pendingFrom_ = at_.lines;
  for (const LeftOutNote& note : leftOut.chordNotes)
    messages_ << where() << " chord note " << note.written << " left out, "
              << (note.why == Crowded::kCoursesTaken ? "no free course plays it"
                                                     : "the chord has more notes than the instrument has courses")
              << "\n";
  if (leftOut.belowLowest > 0) {
    at_.belowLowest += leftOut.belowLowest;
    addLine(at_.linesBelow, at_.lines);
  }
  if (leftOut.overlaid > 0) addLine(at_.linesOverlaid, at_.lines);
}

// A stop is preceded by the place it happened. With skip, a tune that stops is
// left out whole and the conversion goes on at the next tune; false when the
// stop ends the run.
bool Conversion::leaveOut(Stop& stop) {
  if (stop.isIoError()) return false;  // a work file that can't be written ends the run as it is
  if (auto* unplaced = dynamic_cast<NoteUnavailable*>(&stop))
    stop.sayLast(reachAdvice(board_, unplaced->sum, unplaced->text, settings_.skip));
  if (!settings_.skip || !at_.inTune) {
    stop.sayFirst(where());
    return false;
  }
  messages_ << where() << '\n' << (stop.said().empty() ? " " + stop.text() + "\n" : stop.said());
  at_.leftOut = true;
  ++at_.summary.leftOut;
  pendingTab_.clear();
  held_.clear();
  heldFrom_.clear();
  sheet_.clear();
  chordsAt_.reset();
  at_.belowLowest = 0;  // the tune is left out whole
  at_.linesBelow.clear();
  at_.linesOverlaid.clear();
  return true;
}

// With skip, a tune's lines are held until it is whole, so that a tune left
// out leaves nothing behind.
void Conversion::put(long from, std::string_view head, std::string_view tail) {
  if (holdingTune()) {
    held_.push_back(std::string(head).append(tail));
    if (origins_ != nullptr) heldFrom_.push_back(from);
  } else {
    out_.put(head, tail);
    if (origins_ != nullptr) origins_->wrote(from);
  }
}

// The tab line waiting under its melody line is written, and with midi the
// melody line as the tab plays it.
void Conversion::flushTab() {
  if (pendingTab_.empty()) return;
  put(pendingFrom_, pendingTab_);
  if (!pendingPlayed_.empty()) put(pendingFrom_, pendingPlayed_);
  pendingTab_.clear();
  pendingPlayed_.clear();
}

// The end of a tune: its lines are written, and what its tab leaves out is
// said once for the whole tune: the notes below the lowest course, and the
// second voice of bars with a voice overlay.
void Conversion::endTune() {
  flushTab();
  const std::string tune =
      at_.inTune ? " Tune " + at_.number + (at_.title.empty() ? "" : " (" + at_.title + ")") : " Before the first tune";
  if (settings_.chords) drawChords(tune);
  for (std::size_t k = 0; k < held_.size(); ++k) {
    out_.put(held_[k]);
    if (origins_ != nullptr) origins_->wrote(heldFrom_[k]);
  }
  held_.clear();
  heldFrom_.clear();
  auto lines = [](const std::string& numbers) {
    return (numbers.find(',') == std::string::npos ? "line " : "lines ") + numbers;
  };
  if (at_.belowLowest > 0)
    messages_ << tune << ": " << at_.belowLowest << (at_.belowLowest == 1 ? " note lies" : " notes lie")
              << " below the lowest course, left out of the tab: " << lines(at_.linesBelow) << '\n';
  if (!at_.linesOverlaid.empty())
    messages_ << tune << ": the notes after & in a bar (a second voice) are left out of the tab: "
              << lines(at_.linesOverlaid) << '\n';
  at_.belowLowest = 0;
  at_.linesBelow.clear();
  at_.linesOverlaid.clear();
}

// With chords: the diagrams go among the tune's lines after its header
// block, and the symbols that get none are named once for the tune.
void Conversion::drawChords(const std::string& tune) {
  ChordSheet::Drawn drawn = sheet_.finish();
  if (chordsAt_) {
    auto at = static_cast<std::ptrdiff_t>(*chordsAt_);
    held_.insert(held_.begin() + at, drawn.lines.begin(), drawn.lines.end());
    if (origins_ != nullptr) heldFrom_.insert(heldFrom_.begin() + at, drawn.lines.size(), chordsFrom_);
  }
  chordsAt_.reset();
  if (drawn.missing.empty()) return;
  messages_ << tune << ": no diagram for the chord symbol" << (drawn.missing.size() == 1 ? " " : "s ");
  for (std::size_t k = 0; k < drawn.missing.size(); ++k) messages_ << (k == 0 ? "" : ", ") << drawn.missing[k];
  messages_ << '\n';
}

const Progress& Conversion::finish() {
  if (std::optional<TuneHeading> whole = headings_.finish()) choose(*whole);
  if (holdsTunes()) placeTune();
  endTune();
  return at_;
}

namespace {

// Where the lines of a tune go while its notes are only written down.
struct Nowhere : LineSink {
  void put(std::string_view, std::string_view) override {}
};

}  // namespace

// A whole tune's lines, its voices read ahead. With option pos they are
// converted twice, first to write its notes down, quietly; then, once the
// hand's places are found for all of them, for good.
void Conversion::placeTune() {
  if (tuneLines_.empty()) return;
  TuneVoices voices;
  for (const std::string& line : tuneLines_) voices.line(trim(line));
  TuneFingering fingering;
  TuneFingering* placed = nullptr;
  if (settings_.hand) {
    Nowhere nowhere;
    std::ostringstream quiet;
    Conversion writingDown(settings_, nowhere, quiet, at_, &fingering);
    writingDown.whole_ = true;
    writingDown.tuneVoices_ = voices;
    try {
      for (const std::string& line : tuneLines_) writingDown.line(line);
      writingDown.finish();
    } catch (const Stop&) {  // the tune stops again, and says so, when it is converted for good
    }
    fingering.voicings = kry::placeTune(fingering.events, board_, *settings_.hand);
    fingering.placing = true;
    placed = &fingering;
  }
  Conversion placing(settings_, out_, messages_, at_, placed);
  placing.whole_ = true;
  placing.tuneVoices_ = voices;
  placing.traceOrigins(origins_);
  for (const std::string& line : tuneLines_) placing.line(line);
  tuneLines_.clear();
  at_ = placing.finish();
}

// " Line 12, tune 4 (The Frost Is All Over):", without the title when the tune
// has had none yet, and only the line before any tune.
std::string Conversion::where() const {
  std::string place = " Line " + std::to_string(at_.lines);
  if (at_.inTune) place += ", tune " + at_.number + (at_.title.empty() ? "" : " (" + at_.title + ")");
  return place + ":";
}

}  // namespace kry
