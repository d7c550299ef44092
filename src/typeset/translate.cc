#include "typeset/translate.h"

#include <optional>

#include "typeset/prolog.h"

namespace typeset {

namespace {

bool starts(std::string_view line, std::string_view head) {
  return line.substr(0, head.size()) == head;
}

std::string_view trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
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

// The unit note length ABC gives a tune without an L: field.
Length unitfor(std::string_view meter) {
  meter = trim(meter);
  if (meter == "C") return {1, 8};
  if (meter == "C|") return {1, 8};
  const auto slash = meter.find('/');
  if (slash == std::string_view::npos) return {1, 8};
  long num = 0, den = 0;
  for (char c : meter.substr(0, slash)) {
    if (c < '0' || c > '9') return {1, 8};
    num = num * 10 + (c - '0');
  }
  for (char c : meter.substr(slash + 1)) {
    if (c < '0' || c > '9') return {1, 8};
    den = den * 10 + (c - '0');
  }
  if (den == 0) return {1, 8};
  return 4 * num < 3 * den ? Length{1, 16} : Length{1, 8};
}

// Broken rhythm: what the sign does to the event before it and after it.
struct Broken {
  Length before, after;
};
std::optional<Broken> broken(std::string_view signs) {
  if (signs == ">") return Broken{{3, 2}, {1, 2}};
  if (signs == ">>") return Broken{{7, 4}, {1, 4}};
  if (signs == ">>>") return Broken{{15, 8}, {1, 8}};
  if (signs == "<") return Broken{{1, 2}, {3, 2}};
  if (signs == "<<") return Broken{{1, 4}, {7, 4}};
  if (signs == "<<<") return Broken{{1, 8}, {15, 8}};
  return std::nullopt;
}

// One piece of the translated line; events are written out last, once
// broken rhythm has had its say.
struct Piece {
  bool event = false;
  std::string text;           // bars, tuplets
  std::vector<int> frets;
  bool rest = false;
  Length length;
  bool shown = false;         // carries a length of its own: gets a flag
};

std::string eventtext(const Piece& p, const TabState& st) {
  std::string heads;
  const Layout& lay = *st.layout;
  for (std::size_t k = 0; k < p.frets.size() && k < static_cast<std::size_t>(lay.courses); ++k) {
    if (p.frets[k] < 0) continue;
    heads += "!head-kf" + std::to_string(p.frets[k]) + "!" + lay.pitch[k];
  }
  std::string flag;
  if (st.flags && p.shown) {
    if (auto kind = flagkind(p.length, st.unit)) flag = std::string("!k") + (p.rest ? "r" : "q") + *kind + "!";
  }
  if (heads.empty()) return flag + "x" + ltext(p.length);
  return flag + "!invisible![" + heads + "]" + ltext(p.length);
}

void drop(std::string& dropped, std::string_view text) {
  if (!dropped.empty()) dropped += " ";
  dropped += text;
}

}  // namespace

TabLine tabline(std::string_view body, TabState& st) {
  TabLine out;
  std::vector<Piece> pieces;
  std::optional<Length> pending;   // broken rhythm waiting for its second event
  bool cont = false;
  bool last_event = false;         // the piece before is an event
  for (const TabItem& item : scantab(body)) {
    switch (item.kind) {
      case Item::kEvent:
      case Item::kRest: {
        Piece p;
        p.event = true;
        p.rest = item.kind == Item::kRest;
        p.frets = item.frets;
        for (std::size_t k = static_cast<std::size_t>(st.layout->courses); k < p.frets.size(); ++k) {
          if (p.frets[k] >= 0) {
            drop(out.dropped, "a fret on course " + std::to_string(k + 1));
          }
        }
        if (item.length) st.last = *item.length;
        p.length = item.length ? *item.length : st.last;
        if (item.times) p.length = lmul(p.length, *item.times);
        p.shown = item.length.has_value() || item.times.has_value();
        if (pending) {
          p.length = lmul(p.length, *pending);
          pending.reset();
        }
        pieces.push_back(p);
        last_event = true;
        continue;
      }
      case Item::kBroken: {
        const auto b = broken(item.text);
        if (b && last_event && !pending) {
          pieces.back().length = lmul(pieces.back().length, b->before);
          pending = b->after;
        } else {
          drop(out.dropped, item.text);
        }
        break;
      }
      case Item::kBar:
      case Item::kTuplet: {
        Piece p;
        p.text = item.text;
        pieces.push_back(p);
        break;
      }
      case Item::kContinue:
        cont = true;
        break;
      case Item::kUnknown:
        drop(out.dropped, item.text);
        break;
    }
    last_event = false;
  }
  if (pending) drop(out.dropped, "a broken rhythm with no event after it");
  out.abc = "[V:G]";
  // Tuplets keep their timing on the tab staff but draw no bracket across
  // its lines; the melody staff shows them. The setting is read note by
  // note, so it is put back at the end of the line.
  bool tuplets = false;
  for (const Piece& p : pieces) tuplets = tuplets || (!p.event && !p.text.empty() && p.text[0] == '(');
  if (tuplets) out.abc += " [I:tuplets 1 0 2]";
  bool glue = false;
  for (const Piece& p : pieces) {
    if (!glue) out.abc += " ";
    out.abc += p.event ? eventtext(p, st) : p.text;
    glue = !p.event && !p.text.empty() && p.text[0] == '(';
  }
  if (tuplets) out.abc += " [I:tuplets 0 0 0]";
  if (cont) out.abc += " \\";
  return out;
}

Translation translate(std::string_view text, const Settings& settings) {
  // Split into lines; a line ends at LF, CR or CR LF.
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    const auto end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
    if (text[end] == '\r' && at < text.size() && text[at] == '\n') ++at;
  }

  Translation out;
  Page page;
  page.scale = settings.scale;
  for (std::string_view line : lines) {
    if (starts(line, "%%pageheight")) {
      page.height = std::string(trim(line.substr(12)));
      page.letter = page.height == "11in";
    } else if (starts(line, "%%botmargin") && page.botmargin.empty()) {
      page.botmargin = std::string(trim(line.substr(11)));
    }
  }
  const std::string head = prolog(page);
  for (char c : head) {
    if (c == '\n') out.origin.push_back(0);
  }
  out.abc = head;

  std::vector<std::string> body;
  std::vector<int> origin;
  auto emit = [&](std::string s, int from) {
    body.push_back(std::move(s));
    origin.push_back(from);
  };
  TabState st;
  bool unitset = false;
  // Where lyrics of the last melody line go; none when no melody line is open.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t lyrics_at = kNone;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const int from = static_cast<int>(n + 1);
    const std::string_view line = lines[n];
    if (starts(line, "[V:G]")) {
      TabLine tl = tabline(line.substr(5), st);
      if (!tl.dropped.empty()) {
        out.warnings.push_back(settings.inputname + " line " + std::to_string(from) +
                               ": left out of the tab staff: " + tl.dropped + "  (in: " +
                               std::string(line) + ")");
      }
      emit(tl.abc, from);
      continue;
    }
    if (starts(line, "[V:M]")) {
      emit(std::string(line), from);
      lyrics_at = body.size();
      continue;
    }
    if (starts(line, "w:") && lyrics_at != kNone) {
      // Lyrics belong under the melody staff, not under the tab.
      body.insert(body.begin() + static_cast<long>(lyrics_at), std::string(line));
      origin.insert(origin.begin() + static_cast<long>(lyrics_at), from);
      ++lyrics_at;
      continue;
    }
    lyrics_at = kNone;
    if (starts(line, "X:")) {
      st = TabState{};
      unitset = false;
      ++out.tunes;
      emit(std::string(line), from);
    } else if (starts(line, "%%tabrhstyle")) {
      const auto style = trim(line.substr(12));
      st.flags = style != "none";
      if (style != "none" && style != "modern") {
        out.warnings.push_back(settings.inputname + " line " + std::to_string(from) +
                               ": unknown rhythm-flag style \"" + std::string(style) +
                               "\", flags are drawn");
      }
    } else if (starts(line, "%%pageheight") || starts(line, "%%botmargin")) {
      // Paper and margins are set once, before the first tune.
    } else if (starts(line, "V:G")) {
      const auto clef = word(line, "clef=");
      const Layout* lay = layout(clef);
      if (!lay) {
        lay = &guitar();
        out.warnings.push_back(settings.inputname + " line " + std::to_string(from) +
                               ": unknown tab clef \"" + std::string(clef) +
                               "\", drawn as guitar tablature");
      }
      st.layout = lay;
      emit("V:G clef=" + std::string(lay->clef) + " stafflines=" + std::to_string(lay->courses) +
               " staffscale=1.3",
           from);
      // No key signature and no accidentals on a tab staff.
      emit("K:none", 0);
    } else if (starts(line, "V:M")) {
      emit(std::string(line), from);
      if (settings.transpose != 0) emit("%%transpose " + std::to_string(settings.transpose), 0);
    } else if (starts(line, "L:")) {
      if (auto unit = lread(trim(line.substr(2)))) {
        st.unit = *unit;
        unitset = true;
      }
      emit(std::string(line), from);
    } else if (starts(line, "M:")) {
      if (!unitset) st.unit = unitfor(line.substr(2));
      emit(std::string(line), from);
    } else {
      emit(std::string(line), from);
    }
  }
  for (std::size_t i = 0; i < body.size(); ++i) {
    out.abc += body[i];
    out.abc += "\n";
    out.origin.push_back(origin[i]);
  }
  return out;
}

}  // namespace typeset
