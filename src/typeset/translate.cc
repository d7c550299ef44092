#include "typeset/translate.h"

#include <optional>

#include "base/text.h"
#include "typeset/prolog.h"

namespace kry::typeset {

namespace {

bool starts(std::string_view line, std::string_view head) {
  return line.substr(0, head.size()) == head;
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

// Where a comment starts on a melody line, outside chord symbols.
std::size_t commentAt(std::string_view s) {
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    if (s[i] == '%' && !quoted) return i;
  }
  return std::string_view::npos;
}

// The music of a melody line, its comment left out; "\" is at its end when
// the line goes on on the next one.
std::string_view music(std::string_view body) {
  body = body.substr(0, commentAt(body));
  return trimRight(body, kBlanksAndTabs);
}

// A melody line as abcm2ps reads it: an ABC 1.6 chord in "+" ("+GB+",
// "+E3 c3 +"), which abcm2ps would take for a decoration, goes in brackets
// with its blanks left out ("[GB]", "[E3c3]"). Chord symbols, annotations,
// other decorations and a comment stay as they are.
std::string bracketChords(std::string_view s, const Symbols& symbols) {
  if (s.find('+') == std::string_view::npos) return std::string(s);
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    std::size_t last = i;  // copied as it stands up to here
    if (c == '%') {
      last = s.size() - 1;
    } else if (c == '"') {
      last = std::min(s.find('"', i + 1), s.size() - 1);
    } else if (c == '!' || c == '+') {
      const Mark mark = markAt(s, i, symbols);
      last = mark.close;
      if (mark.kind == MarkKind::kChord) {
        out += '[';
        for (char n : s.substr(i + 1, mark.close - i - 1))
          if (n != ' ') out += n;
        out += ']';
        i = mark.close;
        continue;
      }
    }
    out.append(s.substr(i, last - i + 1));
    i = last;
  }
  return out;
}

// One piece of the translated line; events are written out last, once
// broken rhythm has had its say.
struct Piece {
  bool event = false;
  std::string text;           // bars, tuplets, fields
  std::vector<int> frets;
  bool rest = false;
  bool hidden = false;        // a rest that shows nothing
  Length length;
  Length unit;                // the unit length in force
  bool shown = false;         // carries a length of its own: gets a flag
};

std::string eventText(const Piece& p, const TabState& st) {
  std::string heads;
  const Layout& lay = *st.layout;
  for (std::size_t k = 0; k < p.frets.size() && k < static_cast<std::size_t>(lay.courses); ++k) {
    if (p.frets[k] < 0) continue;
    heads += "!head-kf" + std::to_string(p.frets[k]) + "!" + lay.pitch[k];
  }
  std::string flag;
  if (st.flags && p.shown && !p.hidden) {
    if (auto kind = flagKind(p.length, p.unit)) flag = std::string("!k") + (p.rest ? "r" : "q") + *kind + "!";
  }
  if (heads.empty()) return flag + "x" + lengthText(p.length);
  return flag + "!invisible![" + heads + "]" + lengthText(p.length);
}

void drop(std::string& dropped, std::string_view text) {
  if (!dropped.empty()) dropped += " ";
  dropped += text;
}

}  // namespace

// Tuplets keep their timing on the tab staff but draw no bracket across
// its lines; the melody staff shows them. The setting is read note by note,
// so it is put back at the end of the line.
const std::string kTupletsOff = "[V:G] [I:tuplets 1 0 2]";

std::string tabText(const std::string& events, bool tuplets) {
  if (!tuplets) return "[V:G]" + events;
  return kTupletsOff + events + " [I:tuplets 0 0 0]";
}

TabLine tabLine(std::string_view body, TabState& st) {
  TabLine out;
  std::vector<Piece> pieces;
  bool lastEvent = false;          // the piece before is an event
  for (const TabItem& item : scanTab(body)) {
    switch (item.kind) {
      case Item::kEvent:
      case Item::kRest: {
        Piece p;
        p.event = true;
        p.rest = item.kind == Item::kRest;
        p.hidden = item.hidden;
        p.frets = item.frets;
        for (std::size_t k = static_cast<std::size_t>(st.layout->courses); k < p.frets.size(); ++k) {
          if (p.frets[k] >= 0) drop(out.dropped, "a fret on course " + std::to_string(k + 1));
        }
        if (item.length) st.last = *item.length;
        p.length = item.length ? *item.length : st.last;
        if (!item.badLength.empty()) {
          drop(out.dropped, item.badLength + " (a length that cannot be read, taken as " + lengthText(p.length) + ")");
        }
        if (item.times) p.length = product(p.length, *item.times);
        p.shown = item.length.has_value() || item.times.has_value();
        if (st.pending) {
          p.length = product(p.length, *st.pending);
          st.pending.reset();
        }
        p.unit = st.clock.unit;
        pieces.push_back(p);
        lastEvent = true;
        continue;
      }
      case Item::kBroken: {
        // Within the line, or carried to the next when it ends the line.
        const auto b = broken(item.text);
        if (b && lastEvent && !st.pending) {
          pieces.back().length = product(pieces.back().length, b->before);
          st.pending = b->after;
        } else {
          drop(out.dropped, item.text);
        }
        break;
      }
      case Item::kField: {
        const std::string_view value = fieldValue(std::string_view(item.text).substr(3, item.text.size() - 4));
        if (item.text[1] == 'M') {
          meter(st.clock, value);
        } else if (auto unit = readLength(value)) {
          st.clock.unit = *unit;
        } else {
          drop(out.dropped, item.text + " (a length that cannot be read)");
          break;
        }
        Piece p;
        p.text = item.text;
        pieces.push_back(p);
        break;
      }
      case Item::kBar:
      case Item::kTuplet: {
        Piece p;
        p.text = item.text;
        pieces.push_back(p);
        out.tuplets = out.tuplets || item.kind == Item::kTuplet;
        break;
      }
      case Item::kContinue:
        break;  // the melody line says whether the line goes on
      case Item::kUnknown:
        drop(out.dropped, item.text);
        break;
    }
    lastEvent = false;
  }
  // The time of the line, each event in the unit length it was written in.
  const Length unit = st.clock.unit;
  st.clock.time = {0, 1};
  bool glue = false;
  for (const Piece& p : pieces) {
    if (p.event) {
      st.clock.unit = p.unit;
      tick(st.clock, p.length);
    } else if (p.text[0] == '(') {
      tuplet(st.clock, p.text);
    }
    if (!glue) out.events += " ";
    out.events += p.event ? eventText(p, st) : p.text;
    glue = !p.event && p.text[0] == '(';
  }
  st.clock.unit = unit;
  out.abc = tabText(out.events, out.tuplets);
  return out;
}

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// A melody line and its tab line, with the lines that continue them.
struct Group {
  bool open = false;      // the melody line goes on: "\" or a tuplet under way
  bool melody = false, tab = false;
  int melodyLines = 0, tabLines = 0;
  std::string m, t;       // after "[V:M]", and the tab events
  Origin mo, to;          // tab joins are counted in the events
  bool tuplets = false;
  std::vector<std::pair<std::string, int>> lyrics, after;
};

// The tune body line by line, into abcm2ps input.
class Translator {
 public:
  Translator(const Settings& settings, Translation& out) : settings_(settings), out_(out) {}

  void line(std::string_view line, int from);
  void finish() { flush(); }

  std::vector<std::string> body;
  std::vector<Origin> origin;

 private:
  void emit(std::string text, int from) { emit(std::move(text), Origin{from, {}}); }
  void emit(std::string text, Origin from) {
    body.push_back(std::move(text));
    origin.push_back(std::move(from));
  }
  void warn(int from, const std::string& text) {
    out_.warnings.push_back(settings_.inputName + " line " + std::to_string(from) + ": " + text);
  }
  void voice(char v, int from);
  void melody(std::string_view body, int from);
  void tab(std::string_view body, int from);
  bool within(std::string_view line, int from);
  void field(std::string_view line, int from);
  std::string tabKey();
  void flush();

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
  char voice_ = 0;                    // the voice abcm2ps gives field lines to
  bool tabKeyC_ = false;              // the tab staff's key is C, not none
  std::size_t dots_ = kNone;          // the line that tells the repeat dots the tab staff's middle
  std::optional<Length> melodyTime_;  // the last melody line's time, for its tab line
  Group g_;
  std::size_t lyricsAt_ = kNone;      // where lyrics of the last melody line go
};

void Translator::voice(char v, int from) {
  if (voice_ == v) return;
  emit(std::string("V:") + v, from);
  voice_ = v;
}

void Translator::line(std::string_view line, int from) {
  if (starts(line, "[V:G]")) return tab(line.substr(5), from);
  if (starts(line, "[V:M]")) return melody(line.substr(5), from);
  if (g_.open && within(line, from)) return;
  flush();
  if (starts(line, "w:") && lyricsAt_ != kNone) {
    // Lyrics belong under the melody staff, not under the tab.
    body.insert(body.begin() + static_cast<long>(lyricsAt_), std::string(line));
    origin.insert(origin.begin() + static_cast<long>(lyricsAt_), Origin{from, {}});
    ++lyricsAt_;
    return;
  }
  if (starts(line, "%") && !starts(line, "%%")) return emit(std::string(line), from);
  lyricsAt_ = kNone;
  if (starts(line, "X:")) {
    st_ = TabState{};
    st_.clock = mc_ = fileDefault_;
    symbols_ = fileSymbols_;
    unitSet_ = fileUnit_;
    header_ = inTune_ = true;
    melodyDefined_ = tabDefined_ = false;
    voice_ = 0;
    tabKeyC_ = false;
    melodyTime_.reset();
    ++out_.tunes;
    emit(std::string(line), from);
    dots_ = body.size();
    emit("%%postscript /ktabmid 15 def", from);
  } else if (starts(line, "%%tabrhstyle")) {
    const auto style = trim(line.substr(12), kBlanksAndTabs);
    st_.flags = style != "none";
    if (style != "none" && style != "modern") {
      warn(from, "unknown rhythm-flag style \"" + std::string(style) + "\", flags are drawn");
    }
  } else if (starts(line, "%%pageheight") || starts(line, "%%botmargin")) {
    // Paper and margins are set once, before the first tune.
  } else if (defines(line, 'G')) {
    const auto clef = word(line, "clef=");
    const Layout* lay = layout(clef);
    if (!lay) {
      lay = &guitar();
      warn(from, "unknown tab clef \"" + std::string(clef) + "\", drawn as guitar tablature");
    }
    st_.layout = lay;
    // The frets stand on their course lines whatever octave= the tune's key gives the melody.
    emit("V:G clef=" + std::string(lay->clef) + " stafflines=" + std::to_string(lay->courses) + " staffscale=1.3 octave=0",
         from);
    // No key signature and no accidentals on a tab staff.
    emit("K:none", from);
    if (dots_ != kNone) body[dots_] = "%%postscript /ktabmid " + std::to_string(3 * (lay->courses - 1)) + " def";
    tabDefined_ = true;
    voice_ = 'G';
  } else if (defines(line, 'M')) {
    // kry starts the melody voice again before a change of key: its clef
    // is drawn once, at the start of each staff.
    emit(melodyDefined_ ? std::string("V:M") : std::string(line), from);
    if (settings_.transpose != 0) emit("%%transpose " + std::to_string(settings_.transpose), from);
    melodyDefined_ = true;
    voice_ = 'M';
  } else if (starts(line, "V:")) {
    // The tune's own voice, whose music kry writes as voice M: what the
    // melody staff needs of it is the octave its notes are moved by.
    if (const auto octave = octaveOf(line.substr(2))) {
      emit("V:M octave=" + std::to_string(*octave), from);
      voice_ = 'M';
    }
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
  } else if (name == 'U') {
    symbols_.define(value);
    if (!inTune_) fileSymbols_.define(value);
  }
  if (!body) return emit(std::string(line), from);
  voice('M', from);
  emit(std::string(line), from);
  if ((name == 'L' || name == 'M') && tabDefined_) {
    voice('G', from);
    emit(std::string(line), from);
  }
  if (name == 'K' && tabDefined_) {
    voice('G', from);
    emit(tabKey(), from);
  }
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
  if (!g_.open) flush();
  mc_.time = {0, 1};
  melodyTime(body, mc_, symbols_);
  melodyTime_ = mc_.time;
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
  if (!tl.dropped.empty()) {
    warn(from, "left out of the tab staff: " + tl.dropped + "  (in: [V:G]" + std::string(body) + ")");
  }
  if (melodyTime_ && !sameLength(*melodyTime_, st_.clock.time)) {
    const Length diff = difference(st_.clock.time, *melodyTime_);
    warn(from, "the tab staff runs " + lengthText({diff.num < 0 ? -diff.num : diff.num, diff.den}) +
                   (diff.num < 0 ? " shorter" : " longer") + " than the melody");
  }
  melodyTime_.reset();
  if (g_.tab) {
    g_.to.joins.emplace_back(g_.t.size(), from);
    g_.t += tl.events;
  } else {
    g_.t = tl.events;
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
  if (trim(line, kBlanksAndTabs).empty() || starts(line, "X:")) {
    g_.open = false;
    return false;
  }
  if (starts(line, "w:")) {
    g_.lyrics.emplace_back(std::string(line), from);
  } else if (defines(line, 'M')) {
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
  if (g_.melody) {
    emit("[V:M]" + g_.m, g_.mo);
    for (auto& [text, from] : g_.lyrics) emit(text, from);
    lyricsAt_ = body.size();
    voice_ = 'M';
  }
  if (g_.tab) {
    const std::size_t head = g_.tuplets ? kTupletsOff.size() : 5;
    for (auto& [column, from] : g_.to.joins) column += head;
    emit(tabText(g_.t, g_.tuplets), g_.to);
    voice_ = 'G';
  }
  for (auto& [text, from] : g_.after) emit(text, from);
  g_ = Group{};
}

}  // namespace

Translation translate(std::string_view text, const Settings& settings) {
  std::vector<std::string_view> lines;
  Lines reader(text);
  for (std::string_view line; reader.next(line);) lines.push_back(line);

  Translation out;
  Page page;
  page.scale = settings.scale;
  for (std::string_view line : lines) {
    if (starts(line, "%%pageheight")) {
      page.height = std::string(trim(line.substr(12), kBlanksAndTabs));
      page.letter = page.height == "11in";
    } else if (starts(line, "%%botmargin") && page.bottomMargin.empty()) {
      page.bottomMargin = std::string(trim(line.substr(11), kBlanksAndTabs));
    }
  }
  const std::string head = prolog(page);
  for (char c : head) {
    if (c == '\n') out.origin.push_back(Origin{});
  }
  out.abc = head;

  Translator tr(settings, out);
  for (std::size_t n = 0; n < lines.size(); ++n) tr.line(lines[n], static_cast<int>(n + 1));
  tr.finish();
  for (std::size_t i = 0; i < tr.body.size(); ++i) {
    out.abc += tr.body[i];
    out.abc += "\n";
    out.origin.push_back(tr.origin[i]);
  }
  return out;
}

}  // namespace kry::typeset
