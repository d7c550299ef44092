#include "typeset/translate.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "base/text.h"
#include "base/voices.h"
#include "typeset/diagrams.h"
#include "typeset/prolog.h"

namespace kry::typeset {

namespace {

bool starts(std::string_view line, std::string_view head) {
  return line.substr(0, head.size()) == head;
}

// A later definition of the melody voice: "V:M", with the words of the
// line but kry's own "clef=treble".
std::string melodyAgain(std::string_view line) {
  std::string again = "V:M";
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
  std::uint64_t held = 0;     // a bit a course, course 1 lowest: the fret is held from a tie, not picked
  bool rest = false;
  bool hidden = false;        // a rest that shows nothing
  Length length;
  Length unit;                // the unit length in force
  bool opens = false;         // the line's first event, with a length written: kry's option f
};

// The rhythm flag over an event, as the name of its decoration; empty for
// none. A player reads the tab by ear: an event without a flag lasts as
// long as the one shown before it, so a flag stands wherever that changes,
// broken rhythm and tuplets counted. A rest always shows its sign, since
// nothing else on the tab staff marks it, and with kry's option f a line's
// first event shows its flag too. In a tuplet the flag is the written
// value with the tuplet's number over it, as a beam carries it.
std::string flag(const Piece& p, Length heard, long tuplet, TabState& st) {
  if (p.hidden) return "";  // shows nothing: the player goes by the event before
  const bool changed = !st.heard || !sameLength(*st.heard, heard);
  st.heard = heard;
  if (!st.flags || !(changed || p.rest || p.opens)) return "";
  const auto kind = flagKind(p.length, p.unit);
  if (!kind) return "";
  return std::string("k") + (p.rest ? "r" : "q") + *kind + (tuplet > 0 ? "t" + std::to_string(tuplet) : "");
}

// A tie holds a fret into the next event: there the same fret on the same
// course is held, not picked again, and drawn in parentheses.
void hold(Piece& p, const TabItem& item, TabState& st) {
  for (std::size_t k = 0; k < p.frets.size() && k < st.held.size() && k < 64; ++k) {
    if (p.frets[k] >= 0 && st.held[k] == p.frets[k]) p.held |= std::uint64_t{1} << k;
  }
  st.held.assign(p.frets.size(), -1);
  for (std::size_t k = 0; k < p.frets.size() && k < item.tied.size(); ++k) {
    if (item.tied[k]) st.held[k] = p.frets[k];
  }
}

// Writes an event after `out`: its flag, and an invisible chord whose heads
// print the frets, or an invisible rest when no course plays.
void eventText(const Piece& p, const std::string& flag, const Layout& lay, std::string& out) {
  if (!flag.empty()) out.append("!").append(flag).append("!");
  const std::size_t courses = std::min(p.frets.size(), static_cast<std::size_t>(lay.courses));
  const bool played = std::any_of(p.frets.begin(), p.frets.begin() + static_cast<long>(courses), [](int f) { return f >= 0; });
  if (!played) {
    out += "x";
  } else {
    // Two digits are wider than the head abcm2ps spaces the notes by: an
    // annotation of two blanks left of the chord is room it keeps free, so
    // that frets 10 to 15 stand clear of the fret before them.
    if (std::any_of(p.frets.begin(), p.frets.begin() + static_cast<long>(courses), [](int f) { return f >= 10; }))
      out += "\"<  \"";
    out += "!invisible![";
    for (std::size_t k = 0; k < courses; ++k) {
      if (p.frets[k] < 0) continue;
      out.append(p.held >> k & 1 ? "!head-kh" : "!head-kf").append(std::to_string(p.frets[k])).append("!").append(lay.pitch[k]);
    }
    out += "]";
  }
  out += lengthText(p.length);
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
  std::vector<TabItem> items = scanTab(body);
  pieces.reserve(items.size());
  for (TabItem& item : items) {
    switch (item.kind) {
      case Item::kEvent:
      case Item::kRest: {
        Piece p;
        p.event = true;
        p.rest = item.kind == Item::kRest;
        p.hidden = item.hidden;
        p.frets = std::move(item.frets);
        hold(p, item, st);
        for (std::size_t k = static_cast<std::size_t>(st.layout->courses); k < p.frets.size(); ++k) {
          if (p.frets[k] >= 0) drop(out.dropped, "a fret on course " + std::to_string(k + 1));
        }
        if (item.length) st.last = *item.length;
        p.length = item.length ? *item.length : st.last;
        if (!item.badLength.empty()) {
          drop(out.dropped, item.badLength + (item.length ? " (a length abcm2ps reads only as far as " +
                                                                item.badLength.substr(0, readablePrefix(item.badLength)) + ")"
                                                          : " (a length that cannot be read: the length before it holds)"));
        }
        if (item.times) p.length = product(p.length, *item.times);
        p.opens = item.length.has_value() && std::none_of(pieces.begin(), pieces.end(), [](const Piece& q) { return q.event; });
        if (st.pending) {
          p.length = product(p.length, *st.pending);
          st.pending.reset();
        }
        p.unit = st.clock.unit;
        pieces.push_back(std::move(p));
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
        pieces.push_back(std::move(p));
        break;
      }
      case Item::kBar:
      case Item::kTuplet: {
        Piece p;
        p.text = item.text;
        pieces.push_back(std::move(p));
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
  out.events.reserve(32 * pieces.size());
  long number = 0;  // the number of the last tuplet: "(3:2" is 3
  for (const Piece& p : pieces) {
    if (!glue) out.events += " ";
    if (p.event) {
      st.clock.unit = p.unit;
      const long tuplet = st.clock.left > 0 ? number : 0;
      tick(st.clock, p.length);
      const std::string name = flag(p, st.clock.last, tuplet, st);
      if (tuplet > 0 && !name.empty()) out.numbered.insert(name);
      eventText(p, name, *st.layout, out.events);
    } else {
      if (p.text[0] == '(') {
        tuplet(st.clock, p.text);
        std::size_t at = 1;
        number = readNumber(p.text, at).value_or(0);
      }
      out.events += p.text;
    }
    glue = !p.event && p.text[0] == '(';
  }
  st.clock.unit = unit;
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
  Length melodyTime{0, 1}, tabTime{0, 1};
  std::vector<std::pair<std::string, int>> lyrics, after;
};

// Music that takes `time` and shows nothing: invisible rests of whole notes
// and halves, quarters... down to what is left, written in `unit`s; when
// the time is no sum of them (a line that ends inside a triplet), squeezed
// into a tuplet whose bracket is not drawn. A zero-width spacer ends it:
// abcm2ps runs a line of one long rest on into the next.
std::string silence(Length time, Length unit) {
  if (time.num <= 0) return "";
  long odd = time.den;
  while (odd % 2 == 0) odd /= 2;
  if (odd > 1) time = product(time, {odd, 2});  // `odd` notes in the time of 2
  constexpr long kMostWholes = 1000;  // a line longer is no tune's: it is cut short, and the staves part
  std::vector<Length> rests(static_cast<std::size_t>(std::min(time.num / time.den, kMostWholes)), Length{1, 1});
  long left = time.num % time.den;
  for (long den = 2; left > 0; den *= 2) {
    if (2 * left >= time.den) rests.push_back({1, den});
    left = 2 * left % time.den;
  }
  // Built up piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a temporary string.
  std::string out = " ";
  if (odd > 1) out.append("[I:tuplets 1 0 2] (").append(std::to_string(odd)).append(":2:").append(std::to_string(rests.size()));
  for (const Length& rest : rests) out.append("x").append(lengthText(product(rest, {unit.den, unit.num}))).append(" ");
  return out.append(odd > 1 ? "y0 [I:tuplets 0 0 0]" : "y0");
}

// Where a music line too wide for one system is broken: at the same bar
// line in both staves, the end of it in the melody and in the tab events.
struct Cut {
  std::size_t melody, tab;
};

// The bar lines of a melody line: where each ends, and whether the number
// of an ending follows it ("|1"), which can't start a line. Chord symbols,
// decorations, grace notes, chords, inline fields and tuplets hold none;
// a comment ends the music.
struct Bar {
  std::size_t end;
  bool numbered;
};
std::vector<Bar> melodyBars(std::string_view m) {
  std::vector<Bar> bars;
  std::size_t i = 0;
  auto skipTo = [&](char close) {
    const std::size_t at = m.find(close, i + 1);
    i = at == std::string_view::npos ? m.size() : at + 1;
  };
  while (i < m.size()) {
    const char c = m[i];
    const char next = i + 1 < m.size() ? m[i + 1] : '\0';
    if (c == '%') {
      break;
    } else if (c == '"') {
      skipTo('"');
    } else if (c == '{') {
      skipTo('}');
    } else if ((c == '!' || c == '+') && decorationEnd(m, i) != std::string_view::npos) {
      i = decorationEnd(m, i) + 1;
    } else if (c == '[' && next != '|' && !isDigit(next)) {
      skipTo(']');
    } else if (c == '(' && isDigit(next)) {
      ++i;
      while (i < m.size() && (isDigit(m[i]) || m[i] == ':')) ++i;
    } else if (c == '|' || c == ':' || c == '[') {
      const std::size_t from = i;
      while (i < m.size() && (m[i] == '|' || m[i] == ':' || (m[i] == '[' && i + 1 < m.size() && m[i + 1] == '|') ||
                              (m[i] == ']' && m[i - 1] == '|'))) {
        ++i;
      }
      const std::string_view bar = m.substr(from, i - from);
      if (i == from) ++i;  // "[1": an ending, the bar before it counted
      if (bar.find('|') != std::string_view::npos || bar == "::") bars.push_back({i, i < m.size() && isDigit(m[i])});
    } else {
      ++i;
    }
  }
  return bars;
}

// The cuts that break a group's lines into `systems` systems with about
// as many events each: at bar lines the two staves have alike, not the last
// and not one an ending's number follows. None when the staves' bar lines
// don't match, or there are too few.
std::vector<Cut> cutsFor(std::string_view m, std::string_view t, int systems) {
  if (systems < 2) return {};
  const std::vector<Bar> bars = melodyBars(m);
  std::vector<std::size_t> tabBars;  // where each bar line of the tab ends
  std::vector<int> before;           // the events before it
  int events = 0;
  for (std::size_t i = 0; i < t.size();) {
    const std::size_t end = std::min(t.find(' ', i + 1), t.size());
    const std::string_view token = t.substr(i + 1, end - i - 1);  // after its blank
    const bool bar = !token.empty() && token.find_first_not_of("|:[]") == std::string_view::npos;
    if (bar) {
      tabBars.push_back(end);
      before.push_back(events);
    } else if (!token.empty() && token.rfind("[L:", 0) != 0 && token.rfind("[M:", 0) != 0) {
      ++events;
    }
    i = end;
  }
  if (bars.size() != tabBars.size()) return {};
  std::vector<Cut> cuts;
  std::size_t k = 0;
  for (int piece = 1; piece < systems; ++piece) {
    const int target = events * piece / systems;
    std::optional<std::size_t> best;
    for (; k < bars.size(); ++k) {
      if (bars[k].numbered || before[k] == 0 || before[k] >= events) continue;
      if (best && std::abs(before[k] - target) > std::abs(before[*best] - target)) break;
      best = k;
    }
    if (!best) break;
    cuts.push_back({bars[*best].end, tabBars[*best]});
    k = *best + 1;
  }
  return cuts;
}

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

// The tune body line by line, into abcm2ps input.
class Translator {
 public:
  Translator(const Settings& settings, Translation& out) : settings_(settings), out_(out) {}

  void line(std::string_view line, int from);
  void finish() { flush(); }

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
    out_.warnings.push_back({from, settings_.inputName + " line " + std::to_string(from) + ": " + text});
  }
  void voice(std::string_view v, int from);
  void otherVoice(std::string_view line, int from);
  void melody(std::string_view body, int from);
  void tab(std::string_view body, int from);
  bool within(std::string_view line, int from);
  void field(std::string_view line, int from);
  void diagram(std::string_view line, int from);
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
  std::map<std::string, VoiceTime> times_;
  Clock tuneClock_;                   // the unit and meter at the end of the header
  std::string block_;                 // the voice of the block of lines the tune is in
  Length blockStart_{0, 1};           // where that block began, in its voice's time
  Length padding_{0, 1};              // where a voice that starts now starts
  std::string paddingFrom_;           // the voice whose block that was
  std::set<std::string> transposed_;  // the tune's own voices told the transposition
  std::string voice_;                 // the voice abcm2ps gives field lines to: M, G, or one of the tune's own
  bool tabKeyC_ = false;              // the tab staff's key is C, not none
  std::size_t dots_ = kNone;          // the line that tells the repeat dots the tab staff's middle
  std::optional<Length> melodyTime_;  // the last melody line's time, for its tab line
  Group g_;
  std::size_t lyricsAt_ = kNone;      // where lyrics of the last melody line go
  std::size_t drawingAt_ = kNone;     // the %%EPS line of the last chord diagrams
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
    if (id == "M") {
      emit("[V:M]" + silence(piece, mc_.unit), 0);
      emit("[V:G]" + silence(piece, st_.clock.unit), 0);
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

void Translator::line(std::string_view line, int from) {
  if (starts(line, "[V:G]")) return tab(line.substr(5), from);
  if (starts(line, "[V:M]")) return melody(line.substr(5), from);
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
  if (starts(line, "%%titletrim")) {  // abcm2ps reads it too: the outline names titles as it prints them
    const std::string_view value = trim(line.substr(11), kBlanksAndTabs);
    const int setting = isDigit(value.empty() ? ' ' : value[0]) ? static_cast<int>(wholeNumber(value).value_or(1))
                        : value.starts_with('n') || value.starts_with('f') ? 0 : 1;
    (inTune_ ? out_.titles.back().titletrim : out_.bookTitletrim) = setting;
  }
  if (starts(line, "X:")) {
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
    voice_ = "G";
  } else if (defines(line, 'M')) {
    // kry starts the melody voice again before a change of key: its clef
    // is drawn once, at the start of each staff; a clef of its own, a name
    // or an octave the tune gives it stay.
    emit(melodyDefined_ ? melodyAgain(line) : std::string(line), from);
    // kry's own mark before a change of key starts no block of the melody.
    if (melodyDefined_ && line != "V:M clef=treble") enter("M");
    if (settings_.transpose != 0) emit("%%transpose " + std::to_string(settings_.transpose), from);
    melodyDefined_ = true;
    voice_ = "M";
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
  if (body && voice_ != "M" && voice_ != "G") {  // a field of another voice: that voice's alone
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
  voice("M", from);
  emit(std::string(line), from);
  if ((name == 'L' || name == 'M') && tabDefined_) {
    voice("G", from);
    emit(std::string(line), from);
  }
  if (name == 'K' && tabDefined_) {
    voice("G", from);
    emit(tabKey(), from);
  }
}

// A chord diagram kry asks for. The diagrams of lines in a row make one
// figure, placed where the first of them stands.
void Translator::diagram(std::string_view line, int from) {
  const std::optional<ChordDiagram> d = readChordLine(line);
  if (!d) return warn(from, "a chord diagram that can't be read, left out: " + std::string(line));
  if (drawingAt_ == kNone || drawingAt_ + 1 != body.size()) {
    drawings.push_back({"kchords" + std::to_string(drawings.size() + 1) + ".eps", {}});
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
    if (block_ != "M") enter("M");
    start("M");
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
    warn(from, "left out of the tab staff: " + tl.dropped + "  (in: [V:G]" + std::string(body) + ")");
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
      emit("[V:M]" + g_.m.substr(from.melody, to.melody - from.melody), part(g_.mo, 5, from.melody, to.melody));
      voice_ = "M";
    }
    if (g_.melody && k == cuts.size()) {
      for (auto& [text, line] : g_.lyrics) emit(text, line);
      lyricsAt_ = body.size();
    }
    if (g_.tab) {
      const std::string events = g_.t.substr(from.tab, to.tab - from.tab);
      const bool tuplets = g_.tuplets && events.find('(') != std::string::npos;  // in the events, only tuplets have one
      const std::size_t head = tuplets ? kTupletsOff.size() : 5;
      Origin o = part(g_.to, 0, from.tab, to.tab);
      for (auto& [column, line] : o.joins) column += head;
      emit(tabText(events, tuplets), o);
      voice_ = "G";
    }
    from = to;
  }
  for (auto& [text, line] : g_.after) emit(text, line);
  if (g_.melody || g_.tab) {
    VoiceTime& m = timeOf("M");
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

}  // namespace

namespace {

// The paper and margins, set once for the whole file: the first page height
// and bottom margin given, and the space between systems of the tune that
// has the least (abcm2ps's 46 points for one that gives none).
Page pageOf(const std::vector<std::string_view>& lines) {
  Page page;
  std::optional<double> least, file;  // the least staffsep of a tune; one before the first tune
  std::optional<double> tune;         // the tune's own
  bool inTune = false;
  auto endTune = [&] {
    if (inTune) least = std::min(least.value_or(1e9), tune.value_or(file.value_or(page.staffsep)));
  };
  for (std::string_view line : lines) {
    if (starts(line, "%%pageheight")) {
      page.height = std::string(trim(line.substr(12), kBlanksAndTabs));
      page.letter = page.height == "11in";
    } else if (starts(line, "%%botmargin") && page.bottomMargin.empty()) {
      page.bottomMargin = std::string(trim(line.substr(11), kBlanksAndTabs));
    } else if (starts(line, "%%staffsep")) {
      const std::optional<double> sep = points(trim(line.substr(10), kBlanksAndTabs));
      if (sep) (inTune ? tune : file) = std::min(*sep, (inTune ? tune : file).value_or(*sep));
    } else if (starts(line, "X:")) {
      endTune();
      inTune = true;
      tune.reset();
    } else if (starts(line, "W:")) {
      page.wordsAfter = true;
    }
  }
  endTune();
  page.staffsep = least.value_or(file.value_or(page.staffsep));
  return page;
}

}  // namespace

Translation translate(std::string_view text, const Settings& settings) {
  std::vector<std::string_view> lines;
  Lines reader(text);
  for (std::string_view line; reader.next(line);) lines.push_back(line);

  Translation out;
  Page page = pageOf(lines);
  page.scale = settings.scale;
  Translator tr(settings, out);
  for (std::size_t n = 0; n < lines.size(); ++n) tr.line(lines[n], static_cast<int>(n + 1));
  tr.finish();
  std::ranges::stable_sort(out.warnings, {}, &Said::line);

  page.numbered = tr.numbered;
  for (const Drawing& drawing : tr.drawings) out.files.emplace_back(drawing.file, diagramsEps(drawing.diagrams, musicWidth(page)));
  out.abc = prolog(page);
  for (char c : out.abc) {
    if (c == '\n') out.origin.push_back(Origin{});
  }
  for (std::size_t i = 0; i < tr.body.size(); ++i) {
    out.abc += tr.body[i];
    out.abc += "\n";
    out.origin.push_back(tr.origin[i]);
  }
  return out;
}

}  // namespace kry::typeset
