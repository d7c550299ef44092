#include "typeset/tabrender.h"

#include <algorithm>
#include <vector>

#include "base/contract.h"

namespace kry::typeset {

namespace {

void drop(std::string& dropped, std::string_view text) {
  if (!dropped.empty()) dropped += " ";
  dropped += text;
}

// An event or rest, its length as written, with the length before it when
// it has none, its own times and broken rhythm carried from the line before.
void addEvent(TabItem& item, std::vector<TabPiece>& pieces, TabState& st, TabLine& out) {
  TabPiece p;
  p.event = true;
  p.rest = item.kind == Item::kRest;
  p.hidden = item.hidden;
  p.slurStart = item.slurStart;
  p.slurEnd = item.slurEnd;
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
  p.opens = item.length.has_value() && std::none_of(pieces.begin(), pieces.end(), [](const TabPiece& q) { return q.event; });
  if (st.pending) {
    p.length = product(p.length, *st.pending);
    st.pending.reset();
  }
  p.unit = st.clock.unit;
  pieces.push_back(std::move(p));
}

// An inline meter or unit length: the tab keeps time by it.
void addField(const TabItem& item, std::vector<TabPiece>& pieces, TabState& st, TabLine& out) {
  const std::string_view value = fieldValue(std::string_view(item.text).substr(3, item.text.size() - 4));
  if (item.text[1] == 'M') {
    meter(st.clock, value);
  } else if (auto unit = readLength(value)) {
    st.clock.unit = *unit;
  } else {
    drop(out.dropped, item.text + " (a length that cannot be read)");
    return;
  }
  TabPiece p;
  p.text = item.text;
  pieces.push_back(std::move(p));
}

// The pieces of a tab line, each event with the length it sounds.
std::vector<TabPiece> readPieces(std::string_view body, TabState& st, TabLine& out) {
  std::vector<TabPiece> pieces;
  bool lastEvent = false;          // the piece before is an event
  std::vector<TabItem> items = scanTab(body);
  pieces.reserve(items.size());
  for (TabItem& item : items) {
    switch (item.kind) {
      case Item::kEvent:
      case Item::kRest:
        addEvent(item, pieces, st, out);
        lastEvent = true;
        continue;
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
      case Item::kField:
        addField(item, pieces, st, out);
        break;
      case Item::kBar:
      case Item::kTuplet: {
        TabPiece p;
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
  return pieces;
}

// An event under a slur: where its text starts, and the one fret it plays
// (course -1 when it plays none or more than one).
struct Slurred {
  std::size_t at;
  int course, fret;
};

// A slur over notes on one course is a hammer-on where the fret rises and a
// pull-off where it falls: the tab draws the arc over the frets, "h" or "p"
// over the note the left hand sounds. A slur across courses is phrasing the
// melody staff shows; the tab leaves it out.
void slurText(const std::vector<Slurred>& notes, std::string& events) {
  if (notes.size() < 2) return;
  bool moves = false;  // a fret changes: a slur over one fret held is a tie's business
  for (const Slurred& n : notes) {
    if (n.course < 0 || n.course != notes[0].course) return;
    moves = moves || n.fret != notes[0].fret;
  }
  if (!moves) return;
  events += ")";
  for (std::size_t k = notes.size() - 1; k > 0; --k) {
    const int rise = notes[k].fret - notes[k - 1].fret;
    if (rise != 0) events.insert(notes[k].at, rise > 0 ? "\"@-10,9h\"" : "\"@-10,9p\"");
  }
  events.insert(notes[0].at, "('");
}

// The one course an event plays, and its fret; course -1 for none or several.
Slurred slurred(const TabPiece& p, std::size_t at) {
  Slurred n{at, -1, -1};
  for (std::size_t k = 0; k < p.frets.size(); ++k) {
    if (p.frets[k] < 0) continue;
    if (n.course >= 0) return {at, -1, -1};
    n = {at, static_cast<int>(k), p.frets[k]};
  }
  return p.rest ? Slurred{at, -1, -1} : n;
}

// Writes the pieces out, keeping the time of the line, each event in the
// unit length it was written in.
void writePieces(const std::vector<TabPiece>& pieces, TabState& st, TabLine& out) {
  const Length unit = st.clock.unit;
  st.clock.time = {0, 1};
  bool glue = false;
  out.events.reserve(32 * pieces.size());
  std::vector<Slurred> slur;  // the events under a slur so far
  bool inSlur = false;
  for (const TabPiece& p : pieces) {
    if (!glue) out.events += " ";
    if (p.event) {
      if (p.slurStart) slur.clear(), inSlur = true;
      if (inSlur) slur.push_back(slurred(p, out.events.size()));
      st.clock.unit = p.unit;
      const long tuplet = st.clock.left > 0 && st.opening ? st.tuplet : 0;
      st.opening = false;
      tick(st.clock, p.length);
      const std::string name = flag(p, st.clock.last, tuplet, st);
      if (tuplet > 0 && !name.empty()) out.numbered.insert(name);
      eventText(p, name, *st.layout, out.events);
      if (inSlur && p.slurEnd) {
        slurText(slur, out.events);
        inSlur = false;
      }
    } else {
      if (p.text[0] == '(') {
        tuplet(st.clock, p.text);
        std::size_t at = 1;
        st.tuplet = readNumber(p.text, at).value_or(0);
        st.opening = true;
      }
      out.events += p.text;
    }
    glue = !p.event && p.text[0] == '(';
  }
  st.clock.unit = unit;
}

}  // namespace

// Tuplets keep their timing on the tab staff but draw no bracket across
// its lines; the melody staff shows them. The setting is read note by note,
// so it is put back at the end of the line.
const std::string kTupletsOff = std::string(contract::kTabLineStart) + "[I:tuplets 1 0 2]";

std::string tabText(const std::string& events, bool tuplets) {
  if (!tuplets) return std::string(contract::kTabLine) + events;
  return kTupletsOff + events + " [I:tuplets 0 0 0]";
}

TabLine tabLine(std::string_view body, TabState& st) {
  TabLine out;
  const std::vector<TabPiece> pieces = readPieces(body, st, out);
  writePieces(pieces, st, out);
  return out;
}

}  // namespace kry::typeset
