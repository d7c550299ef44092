#include "typeset/voices.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "base/contract.h"
#include "base/text.h"
#include "base/voices.h"
#include "typeset/cutting.h"
#include "typeset/prolog.h"
#include "typeset/staffmusic.h"

namespace kry::typeset {

namespace {

bool starts(std::string_view line, std::string_view head) {
  return line.substr(0, head.size()) == head;
}

// kry's two voices: the melody and the tab under it.
constexpr char kMelody = contract::kMelodyVoice[0];
constexpr char kTab = contract::kTabVoice[0];
// Their ids, as the voice the lines go on in is named.
const std::string kMelodyId(contract::kMelodyVoice), kTabId(contract::kTabVoice);

// A later definition of the melody voice: "V:M", with the words of the
// line but kry's own "clef=treble".
std::string melodyAgain(std::string_view line) {
  std::string again(contract::kMelodyVoiceField);
  std::string_view words = trim(line.substr(3), kBlanksAndTabs);
  while (!words.empty()) {
    const std::size_t end = std::min(words.find_first_of(kBlanksAndTabs), words.size());
    if (words.substr(0, end) != "clef=treble") again.append(" ").append(words.substr(0, end));
    words = trimLeft(words.substr(end), kBlanksAndTabs);
  }
  return again;
}

// Whether `line` defines kry's voice `v` ("V:M clef=treble", "V:M", "V:G
// clef=guitartab"), not one of the tune's own such as "V:Melody".
bool defines(std::string_view line, char v) {
  return starts(line, std::string("V:") + v) && (line.size() == 3 || line[3] == ' ');
}

// The value of "name=value" among a voice definition's words.
std::string_view word(std::string_view line, std::string_view name) {
  std::size_t at = 0;
  while ((at = line.find(name, at)) != std::string_view::npos) {
    if (at == 0 || line[at - 1] == ' ') {
      const auto from = at + name.size();
      const auto to = line.find(' ', from);
      return line.substr(from, to == std::string_view::npos ? line.npos : to - from);
    }
    at += name.size();
  }
  return {};
}

// The unit note length ABC gives a tune without an L: field: 1/16 under a
// meter below 3/4, else 1/8 (a meter we don't count by included).
Length unitFor(std::string_view value) {
  Clock c;
  meter(c, value);
  return difference(c.bar, {3, 4}).num < 0 ? Length{1, 16} : Length{1, 8};
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// How much closer a tune's systems come each time, and at most: within
// what abcm2ps still spaces clear of the notes.
constexpr double kCloser = 0.25, kClosest = 0.75;

// A length in points as abcm2ps reads it.
std::string pointsText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1fpt", value);
  return text;
}

}  // namespace

// A melody line and its tab line, with the lines that continue them.
struct Group {
  bool open = false;      // the melody line goes on: "\" or a tuplet under way
  bool melody = false, tab = false;
  int melodyLines = 0, tabLines = 0;
  std::string m, t;       // after "[V:M]", and the tab events
  Origin mo, to;          // tab joins are counted in the events
  bool tuplets = false;
  Length melodyTime{0, 1}, tabTime{0, 1};
  std::vector<std::pair<std::string, int>> lyrics, after;
};

namespace {

// The origin of the part [from, to) of a line whose origin is `o`, the part
// standing after the same head of `head` characters.
Origin part(const Origin& o, std::size_t head, std::size_t from, std::size_t to) {
  Origin out{o.line, {}};
  for (const auto& [column, line] : o.joins) {
    if (column <= head + from) {
      out.line = line;
    } else if (column < head + to) {
      out.joins.emplace_back(column - from, line);
    }
  }
  return out;
}

}  // namespace

// The tune body line by line, into abcm2ps input.
class Translator {
 public:
  Translator(const Settings& settings, Translation& out) : settings_(settings), out_(out) {}

  void line(std::string_view line, int from);
  void finish() { flush(); }
  // A line of a PostScript, text or SVG block: abcm2ps's as it stands.
  void block(std::string_view line, int from) {
    g_.open = false;
    flush();
    emit(std::string(line), from);
  }
  // Hands over the lines and figures made so far, between two tunes.
  void drain(Routed& to) {
    to.body = std::move(body);
    to.origin = std::move(origin);
    to.drawings = std::move(drawings);
    body.clear();
    origin.clear();
    drawings.clear();
    dots_ = lyricsAt_ = drawingAt_ = kNone;
  }

  std::vector<std::string> body;
  std::vector<Origin> origin;
  std::set<std::string> numbered;  // the flags with a tuplet's number, for the prolog
  std::vector<Drawing> drawings;   // the chord diagrams of the tunes

 private:
  void emit(std::string text, int from) { emit(std::move(text), Origin{from, {}}); }
  void emit(std::string text, Origin from) {
    body.push_back(std::move(text));
    origin.push_back(std::move(from));
  }
  void warn(int from, const std::string& text) {
    out_.warnings.push_back({from, contract::placedMessage(settings_.inputName, from, text)});
  }
  void voice(std::string_view v, int from);
  void otherVoice(std::string_view line, int from);
  // Where each voice has got to: M for the tabbed one (its tab keeps in
  // step), and each of the tune's own by its id. ABC counts every voice
  // from the start of the tune; a voice whose music first comes after a
  // block of another's starts where that block started, as a duet that
  // joins in part C: it is given rests up to there.
  struct VoiceTime {
    Clock clock;                // of a voice of the tune's own: its unit and meter
    Length time{0, 1};          // its music so far
    std::vector<Length> lines;  // the time of each of its lines
    bool started = false;       // its music has begun
  };
  VoiceTime& timeOf(const std::string& id);
  void enter(const std::string& id);
  void start(const std::string& id);
  void melody(std::string_view body, int from);
  void tab(std::string_view body, int from);
  bool within(std::string_view line, int from);
  void field(std::string_view line, int from);
  void diagram(std::string_view line, int from);
  void startTune(std::string_view line, int from);
  void defineTab(std::string_view line, int from);
  void titleTrim(std::string_view line);
  void spacing(std::string_view line, int from);
  std::string tabKey();
  void flush();
  int systems() const;

  const Settings& settings_;
  Translation& out_;
  // Before the first tune: an L: or M: there holds for every tune, and so
  // do the symbols of U: fields.
  Clock fileDefault_;
  bool fileUnit_ = false;
  Symbols fileSymbols_;
  bool inTune_ = false;
  Symbols symbols_;                   // the tune's, the file's among them
  // The tune.
  TabState st_;
  Clock mc_;                          // the melody's time
  bool header_ = false;               // between X: and the first K:
  bool unitSet_ = false;              // an L: was given
  bool melodyDefined_ = false, tabDefined_ = false;  // the voices are defined
  std::string voice_;                 // the voice abcm2ps gives field lines to: M, G, or one of the tune's own
  std::map<std::string, VoiceTime> times_;
  Clock tuneClock_;                   // the unit and meter at the end of the header
  std::string block_;                 // the voice of the block of lines the tune is in
  Length blockStart_{0, 1};           // where that block began, in its voice's time
  Length padding_{0, 1};              // where a voice that starts now starts
  std::string paddingFrom_;           // the voice whose block that was
  std::set<std::string> transposed_;  // the tune's own voices told the transposition
  bool tabKeyC_ = false;              // the tab staff's key is C, not none
  std::size_t dots_ = kNone;          // the line that tells the repeat dots the tab staff's middle
  std::optional<Length> melodyTime_;  // the last melody line's time, for its tab line
  Group g_;
  std::size_t lyricsAt_ = kNone;      // where lyrics of the last melody line go
  std::size_t drawingAt_ = kNone;     // the %%EPS line of the last chord diagrams
  int figures_ = 0;                   // the chord diagram figures so far
  // The space between systems and between the staves of one, in points:
  // abcm2ps's own, or what the file sets before the first tune.
  double fileStaffsep_ = 46, fileSysstaffsep_ = 34;
  double closer_ = 1.0;               // the tune's spacing, as a share of what it asks for
  int systems_ = 0;                   // the tune's melody lines so far, one a system
  int pageBefore_ = 0;                // the system a new page starts before; 0 for none
};

void Translator::voice(std::string_view v, int from) {
  if (voice_ == v) return;
  emit("V:" + std::string(v), from);
  voice_ = v;
}

Translator::VoiceTime& Translator::timeOf(const std::string& id) {
  auto [at, made] = times_.try_emplace(id);
  if (made) at->second.clock = tuneClock_;
  return at->second;
}

// The tune goes on in voice `id`: its V: line, or its music after another
// voice's. A V: line of the voice it is in starts a new block of it.
void Translator::enter(const std::string& id) {
  if (id != block_) {
    padding_ = blockStart_;
    paddingFrom_ = block_;
    block_ = id;
  }
  blockStart_ = timeOf(id).time;
}

// The first music of voice `id`: rests before it up to where it starts,
// line by line as the voice whose block it joins has its lines.
void Translator::start(const std::string& id) {
  VoiceTime& v = timeOf(id);
  if (v.started) return;
  v.started = true;
  if (padding_.num <= 0) return;
  std::vector<Length> pieces;
  Length left = padding_;
  for (const Length& line : timeOf(paddingFrom_).lines) {
    if (difference(line, left).num > 0) break;
    pieces.push_back(line);
    left = difference(left, line);
  }
  if (left.num > 0) pieces.push_back(left);
  for (const Length& piece : pieces) {
    if (id == kMelodyId) {
      emit(std::string(contract::kMelodyLine) + silence(piece, mc_.unit), 0);
      emit(std::string(contract::kTabLine) + silence(piece, st_.clock.unit), 0);
    } else {
      emit("[V:" + id + "]" + silence(piece, v.clock.unit), 0);
    }
    v.lines.push_back(piece);
  }
  v.time = blockStart_ = padding_;
  padding_ = {0, 1};
}

// A line of a voice kry writes no tab for, "[V:2] ..." or its definition
// "V:2 clef=bass": it goes through as it stands, but for the chords in
// "+" that abcm2ps reads otherwise; field lines after it are that voice's.
void Translator::otherVoice(std::string_view line, int from) {
  const bool field = line[0] == 'V';
  const std::size_t head = field ? 2 : 3;
  voice_ = readVoice(line.substr(head, field ? line.npos : line.find(']') - head)).id;
  if (field || voice_ != block_) enter(voice_);
  if (!field) {
    start(voice_);
    VoiceTime& v = timeOf(voice_);
    v.clock.time = {0, 1};
    melodyTime(line.substr(line.find(']') + 1), v.clock, symbols_);
    v.time = sum(v.time, v.clock.time);
    v.lines.push_back(v.clock.time);
  }
  // The whole tune is transposed: each voice of its own is told once, after its first line.
  const bool first = settings_.transpose != 0 && transposed_.insert(voice_).second;
  const std::string transpose = "%%transpose " + std::to_string(settings_.transpose);
  if (field) {
    emit(std::string(line), from);
    if (first) emit(transpose, from);
    return;
  }
  if (first) {
    emit("V:" + voice_, from);
    emit(transpose, from);
  }
  emit(bracketChords(line, symbols_), from);
}

// A new tune: the file's settings hold again, both voices to be defined.
void Translator::startTune(std::string_view line, int from) {
  st_ = TabState{};
  st_.clock = mc_ = fileDefault_;
  symbols_ = fileSymbols_;
  unitSet_ = fileUnit_;
  header_ = inTune_ = true;
  melodyDefined_ = tabDefined_ = false;
  voice_.clear();
  transposed_.clear();
  times_.clear();
  block_.clear();
  blockStart_ = padding_ = {0, 1};
  tabKeyC_ = false;
  melodyTime_.reset();
  out_.titles.push_back({std::string(fieldValue(line.substr(2))), "", out_.bookTitletrim});
  emit("X:" + std::string(line.substr(2)), from);  // "x:1" as abcm2ps knows it
  dots_ = body.size();
  emit("%%postscript /ktabmid 15 def", from);
  const auto tight = settings_.tighter.find(static_cast<int>(out_.titles.size()));
  closer_ = tight == settings_.tighter.end() ? 1.0 : std::max(kClosest, 1.0 - kCloser * tight->second);
  const auto page = settings_.pageBefore.find(static_cast<int>(out_.titles.size()));
  pageBefore_ = page == settings_.pageBefore.end() ? 0 : page->second;
  systems_ = 0;
  if (closer_ < 1.0) {
    // The file's spacing, or abcm2ps's own, closer; the tune's own lines come after.
    emit("%%staffsep " + pointsText(closer_ * fileStaffsep_), from);
    emit("%%sysstaffsep " + pointsText(closer_ * fileSysstaffsep_), from);
  }
}

// The space between systems, or between the staves of one: the file's
// holds for every tune; a tune set closer has its own made smaller.
void Translator::spacing(std::string_view line, int from) {
  const bool system = starts(line, "%%staffsep");
  const std::optional<double> value = typeset::points(trim(line.substr(system ? 10 : 13), kBlanksAndTabs));
  if (!inTune_ && value) (system ? fileStaffsep_ : fileSysstaffsep_) = *value;
  if (!inTune_ || closer_ >= 1.0 || !value) return emit(std::string(line), from);
  emit(std::string(system ? "%%staffsep " : "%%sysstaffsep ") + pointsText(closer_ * *value), from);
}

// kry's tab voice: its clef names the instrument, whose courses are the
// staff's lines.
void Translator::defineTab(std::string_view line, int from) {
  const auto clef = word(line, "clef=");
  const Layout* lay = layout(clef);
  if (!lay) {
    lay = &guitar();
    warn(from, "unknown tab clef \"" + std::string(clef) + "\", drawn as guitar tablature");
  }
  st_.layout = lay;
  // The frets stand on their course lines whatever octave= the tune's key gives the melody.
  emit(std::string("V:") + kTab + " clef=" + std::string(lay->clef) + " stafflines=" + std::to_string(lay->courses) + " staffscale=1.3 octave=0",
       from);
  // No key signature and no accidentals on a tab staff.
  emit("K:none", from);
  if (dots_ != kNone) body[dots_] = "%%postscript /ktabmid " + std::to_string(3 * (lay->courses - 1)) + " def";
  tabDefined_ = true;
  voice_ = kTabId;
}

// abcm2ps reads %%titletrim too: the outline names titles as it prints them.
void Translator::titleTrim(std::string_view line) {
  const std::string_view value = trim(line.substr(11), kBlanksAndTabs);
  const int setting = isDigit(value.empty() ? ' ' : value[0]) ? static_cast<int>(wholeNumber(value).value_or(1))
                      : value.starts_with('n') || value.starts_with('f') ? 0 : 1;
  (inTune_ ? out_.titles.back().titletrim : out_.bookTitletrim) = setting;
}

void Translator::line(std::string_view line, int from) {
  if (starts(line, contract::kTabLine)) return tab(line.substr(contract::kTabLine.size()), from);
  if (starts(line, contract::kMelodyLine)) return melody(line.substr(contract::kMelodyLine.size()), from);
  if (g_.open && within(line, from)) return;
  if (starts(line, "w:") && g_.melody && !g_.tab) {  // lyrics written between a melody line and its tab line
    g_.lyrics.emplace_back(std::string(line), from);
    return;
  }
  flush();
  if (starts(line, "[V:") && line.find(']') != std::string_view::npos) {
    lyricsAt_ = kNone;
    return otherVoice(line, from);
  }
  if (starts(line, kChordDirective)) return diagram(line, from);
  if (starts(line, "w:") && lyricsAt_ != kNone) {
    // Lyrics belong under the melody staff, not under the tab.
    body.insert(body.begin() + static_cast<long>(lyricsAt_), std::string(line));
    origin.insert(origin.begin() + static_cast<long>(lyricsAt_), Origin{from, {}});
    ++lyricsAt_;
    return;
  }
  if (starts(line, "%") && !starts(line, "%%")) return emit(std::string(line), from);
  lyricsAt_ = kNone;
  if (starts(line, "%%titletrim")) titleTrim(line);
  if (starts(line, "%%staffsep") || starts(line, "%%sysstaffsep")) return spacing(line, from);
  if (startsTune(line)) {
    startTune(line, from);
  } else if (starts(line, "%%tabrhstyle")) {
    const auto style = trim(line.substr(12), kBlanksAndTabs);
    st_.flags = style != "none";
    if (style != "none" && style != "modern") {
      warn(from, "unknown rhythm-flag style \"" + std::string(style) + "\", flags are drawn");
    }
  } else if (starts(line, "%%pageheight") || starts(line, "%%botmargin")) {
    // Paper and margins are set once, before the first tune.
  } else if (defines(line, kTab)) {
    defineTab(line, from);
  } else if (defines(line, kMelody)) {
    // kry starts the melody voice again before a change of key: its clef
    // is drawn once, at the start of each staff. The voice keeps its
    // transposition; given again, abcm2ps would set a bar line that starts
    // the next line after the new key on the melody staff alone.
    // A clef of its own, a name or an octave the tune gives it stay.
    emit(melodyDefined_ ? melodyAgain(line) : std::string(line), from);
    if (settings_.transpose != 0 && !melodyDefined_) emit("%%transpose " + std::to_string(settings_.transpose), from);
    // kry's own mark before a change of key starts no block of the melody.
    if (melodyDefined_ && line != contract::kMelodyField) enter(kMelodyId);
    melodyDefined_ = true;
    voice_ = kMelodyId;
  } else if (starts(line, "V:")) {
    otherVoice(line, from);
  } else if (isFieldLine(line)) {
    field(line, from);
  } else {
    emit(std::string(line), from);
  }
}

// A field line outside the music lines. In the header of a tune or of the
// file it holds for both voices as it stands; in the tune body abcm2ps
// gives it to the voice it last read, so it is given to the voices ABC
// means it for: L: and M: both, everything else the melody.
void Translator::field(std::string_view line, int from) {
  const char name = line[0];
  const std::string_view value = line.substr(2);
  const bool body = inTune_ && !header_ && melodyDefined_;
  if (body && voice_ != kMelodyId && voice_ != kTabId) {  // a field of another voice: that voice's alone
    if (name == 'U') symbols_.define(value);
    Clock& clock = timeOf(voice_).clock;
    if (name == 'L') clock.unit = readLength(fieldValue(value)).value_or(clock.unit);
    if (name == 'M') meter(clock, value);
    return emit(std::string(line), from);
  }
  if (name == 'L') {
    if (auto unit = readLength(fieldValue(value))) {
      st_.clock.unit = mc_.unit = *unit;
      unitSet_ = true;
      if (!inTune_) {
        fileDefault_.unit = *unit;
        fileUnit_ = true;
      }
    } else {
      warn(from, "a unit length that cannot be read: " + std::string(line));
    }
  } else if (name == 'M') {
    meter(st_.clock, value);
    meter(mc_, value);
    // Once the tune has begun, the meter leaves the unit as it is.
    if (!body && !unitSet_) st_.clock.unit = mc_.unit = unitFor(value);
    if (!inTune_) fileDefault_ = mc_;
  } else if (name == 'K' && header_) {
    header_ = false;
    tuneClock_ = mc_;
  } else if (name == 'T') {
    std::string& title = inTune_ ? out_.titles.back().title : out_.bookTitle;
    if (title.empty()) title = fieldValue(value);
  } else if (name == 'U') {
    symbols_.define(value);
    if (!inTune_) fileSymbols_.define(value);
  }
  if (!body) return emit(std::string(line), from);
  voice(kMelodyId, from);
  emit(std::string(line), from);
  if ((name == 'L' || name == 'M') && tabDefined_) {
    voice(kTabId, from);
    emit(std::string(line), from);
  }
  if (name == 'K' && tabDefined_) {
    voice(kTabId, from);
    emit(tabKey(), from);
  }
}

// A chord diagram kry asks for. The diagrams of lines in a row make one
// figure, placed where the first of them stands.
void Translator::diagram(std::string_view line, int from) {
  const std::optional<ChordDiagram> d = readChordLine(line);
  if (!d) return warn(from, "a chord diagram that can't be read, left out: " + std::string(line));
  if (drawingAt_ == kNone || drawingAt_ + 1 != body.size()) {
    drawings.push_back({"kchords" + std::to_string(++figures_) + ".eps", {}});
    drawingAt_ = body.size();
    emit("%%EPS " + drawings.back().file, from);
  }
  drawings.back().diagrams.push_back(*d);
}

// A change of key is the melody's. The tab staff gets one that draws
// nothing, C and none in turn (a key that does not change makes no mark), so
// that abcm2ps sets a bar line right after it where the melody's stands,
// and shows the melody's new key at the end of the staff before, as for a
// change in every voice.
std::string Translator::tabKey() {
  tabKeyC_ = !tabKeyC_;
  return tabKeyC_ ? "K:C" : "K:none";
}

void Translator::melody(std::string_view body, int from) {
  if (!g_.open) {
    flush();
    if (block_ != kMelodyId) enter(kMelodyId);
    start(kMelodyId);
  }
  mc_.time = {0, 1};
  melodyTime(body, mc_, symbols_);
  melodyTime_ = mc_.time;
  g_.melodyTime = sum(g_.melodyTime, mc_.time);
  // A line that goes on on the next one, or that ends inside a tuplet, is
  // joined to the next: abcm2ps reads no tuplet across the end of a line.
  const std::string_view code = music(body);
  const bool backslash = !code.empty() && code.back() == '\\';
  const bool open = backslash || mc_.left > 0;
  std::string piece = bracketChords(open ? code.substr(0, code.size() - (backslash ? 1 : 0)) : body, symbols_);
  if (open && !backslash) piece += " ";
  if (g_.melody) {
    // The blank kry writes after "[V:M]" is no part of the music.
    if (!piece.empty() && piece[0] == ' ') piece.erase(0, 1);
    g_.mo.joins.emplace_back(5 + g_.m.size(), from);
    g_.m += piece;
  } else {
    g_.m = piece;
    g_.mo.line = from;
  }
  g_.melody = true;
  ++g_.melodyLines;
  g_.open = open;
}

void Translator::tab(std::string_view body, int from) {
  if (g_.tabLines >= g_.melodyLines) flush();  // a tab line with no melody line of its own
  TabLine tl = tabLine(body, st_);
  numbered.insert(tl.numbered.begin(), tl.numbered.end());
  if (!tl.dropped.empty()) {
    warn(from, "left out of the tab staff: " + tl.dropped + "  (in: " + std::string(contract::kTabLine) + std::string(body) + ")");
  }
  if (melodyTime_ && !sameLength(*melodyTime_, st_.clock.time)) {
    const Length diff = difference(st_.clock.time, *melodyTime_);
    warn(from, "the tab staff runs " + lengthText({diff.num < 0 ? -diff.num : diff.num, diff.den}) +
                   (diff.num < 0 ? " shorter" : " longer") + " than the melody");
  }
  melodyTime_.reset();
  g_.tabTime = sum(g_.tabTime, st_.clock.time);
  if (g_.tab) {
    g_.to.joins.emplace_back(g_.t.size(), from);
    g_.t += tl.events;
  } else {
    g_.t = std::move(tl.events);
    g_.to.line = from;
  }
  g_.tab = true;
  ++g_.tabLines;
  g_.tuplets = g_.tuplets || tl.tuplets;
  if (!g_.open) flush();
}

// A line between a melody line that goes on and the next music line: a
// field goes into the joined lines where it stands, lyrics under them, and
// anything else after them. False when it ends the joined lines.
bool Translator::within(std::string_view line, int from) {
  if (trim(line, kBlanksAndTabs).empty() || startsTune(line)) {
    g_.open = false;
    return false;
  }
  if (starts(line, "w:")) {
    g_.lyrics.emplace_back(std::string(line), from);
  } else if (defines(line, kMelody)) {
    // kry's mark before a change of key: the key goes inline.
  } else if (isFieldLine(line) && std::string_view("IKLMNPQRT").find(line[0]) != std::string_view::npos) {
    const std::string inlineField = "[" + std::string(line.substr(0, 2)) + std::string(fieldValue(line.substr(2))) + "]";
    g_.m += inlineField;
    if (line[0] == 'L') st_.clock.unit = mc_.unit = readLength(fieldValue(line.substr(2))).value_or(mc_.unit);
    if (line[0] == 'M') {
      meter(st_.clock, line.substr(2));
      meter(mc_, line.substr(2));
    }
    if (line[0] == 'L' || line[0] == 'M') g_.t += " " + inlineField;
    if (line[0] == 'K') g_.t += " [" + tabKey() + "]";
  } else {
    g_.after.emplace_back(std::string(line), from);
  }
  return true;
}

void Translator::flush() {
  // Both staves keep time line by line: a staff whose line is missing is
  // left empty for as long as the other's line lasts, and the lines after
  // pair as before.
  if (g_.melody && !g_.tab && tabDefined_) {
    warn(g_.mo.line, "a melody line with no tab line; its tab staff is left empty");
    g_.t = silence(g_.melodyTime, st_.clock.unit);
    g_.tab = !g_.t.empty();
    g_.to.line = g_.mo.line;
  } else if (g_.tab && !g_.melody && melodyDefined_) {
    warn(g_.to.line, "a tab line with no melody line; its melody staff is left empty");
    g_.m = silence(g_.tabTime, mc_.unit);
    g_.melody = !g_.m.empty();
    g_.mo.line = g_.to.line;
  }
  const std::vector<Cut> cuts = g_.melody && g_.tab && g_.lyrics.empty() ? cutsFor(g_.m, g_.t, systems()) : std::vector<Cut>{};
  Cut from{0, 0};
  for (std::size_t k = 0; k <= cuts.size(); ++k) {
    const Cut to = k < cuts.size() ? cuts[k] : Cut{g_.m.size(), g_.t.size()};
    if (g_.melody) {
      if (++systems_ == pageBefore_) emit("%%newpage", g_.mo.line);
      emit(std::string(contract::kMelodyLine) + g_.m.substr(from.melody, to.melody - from.melody),
           part(g_.mo, contract::kMelodyLine.size(), from.melody, to.melody));
      voice_ = kMelody;
    }
    if (g_.melody && k == cuts.size()) {
      for (auto& [text, line] : g_.lyrics) emit(text, line);
      lyricsAt_ = body.size();
    }
    if (g_.tab) {
      const std::string events = g_.t.substr(from.tab, to.tab - from.tab);
      const bool tuplets = g_.tuplets && events.find('(') != std::string::npos;  // in the events, only tuplets have one
      const std::size_t head = tuplets ? kTupletsOff.size() : contract::kTabLine.size();
      Origin o = part(g_.to, 0, from.tab, to.tab);
      for (auto& [column, line] : o.joins) column += head;
      emit(tabText(events, tuplets), o);
      voice_ = kTab;
    }
    from = to;
  }
  for (auto& [text, line] : g_.after) emit(text, line);
  if (g_.melody || g_.tab) {
    VoiceTime& m = timeOf(kMelodyId);
    const Length time = g_.melody ? g_.melodyTime : g_.tabTime;
    m.time = sum(m.time, time);
    m.lines.push_back(time);
  }
  g_ = Group{};
}

// How many systems the group's music line is broken into: one more each
// time abcm2ps found a line of it too wide.
int Translator::systems() const {
  int systems = 1;
  auto crowded = [&](int line) {
    const auto it = settings_.crowded.find(line);
    if (it != settings_.crowded.end()) systems += it->second;
  };
  for (const Origin* o : {&g_.mo, &g_.to}) {
    crowded(o->line);
    for (const auto& [column, line] : o->joins) crowded(line);
  }
  return systems;
}


VoiceRouter::VoiceRouter(const Settings& settings, Translation& out, std::function<void(Routed&)> take)
    : tr_(std::make_unique<Translator>(settings, out)), take_(std::move(take)) {}

VoiceRouter::~VoiceRouter() = default;

void VoiceRouter::line(std::string_view line, int from) {
  if (kinds_.classify(trim(line, kBlanksAndTabs)) == LineKind::kBlock) return tr_->block(line, from);
  if (startsTune(line)) {
    // The tune before is whole: it goes, and this one starts afresh.
    tr_->finish();
    handOver();
  }
  tr_->line(line, from);
}

void VoiceRouter::finish() {
  tr_->finish();
  handOver();
}

const std::set<std::string>& VoiceRouter::numbered() const { return tr_->numbered; }

void VoiceRouter::handOver() {
  Routed done;
  tr_->drain(done);
  if (!done.body.empty() || !done.drawings.empty()) take_(done);
}

Routed routeVoices(const std::vector<std::string_view>& lines, const Settings& settings, Translation& out) {
  Routed all;
  VoiceRouter router(settings, out, [&all](Routed& part) {
    all.body.insert(all.body.end(), std::make_move_iterator(part.body.begin()), std::make_move_iterator(part.body.end()));
    all.origin.insert(all.origin.end(), std::make_move_iterator(part.origin.begin()), std::make_move_iterator(part.origin.end()));
    all.drawings.insert(all.drawings.end(), std::make_move_iterator(part.drawings.begin()), std::make_move_iterator(part.drawings.end()));
  });
  for (std::size_t n = 0; n < lines.size(); ++n) router.line(lines[n], static_cast<int>(n + 1));
  router.finish();
  all.numbered = router.numbered();
  return all;
}

}  // namespace kry::typeset
