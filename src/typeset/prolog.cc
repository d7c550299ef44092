#include "typeset/prolog.h"

#include "base/abc.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace kry::typeset {

namespace {

// abcm2ps prints at 0.75 of its nominal size; -s scales from there.
constexpr double kBaseScale = 0.75;

// The drawing procedures. abcm2ps calls a "head-" decoration with the head's
// x y (and the decoration's text first, when it has one), in the staff's own
// units: lines 6 apart. Its percussion clef procedure "pclef" is ours, since
// the tab staff is the only staff with that clef; it gets the clef's x y,
// 3 below the middle of the staff whatever its number of lines.
constexpr const char* kProcs = R"(%%beginps
/kfret{ % (n) x y kfret: a fret number centred on its course line, the line blanked behind it
  gsave T /Helvetica-Bold 8 selectfont
  dup stringwidth pop dup 2 add exch -0.5 mul 1 sub exch
  1 setgray -3 exch 6 rectfill
  0 setgray dup stringwidth pop -0.5 mul -2.9 M show grestore}bind def
/kdots{ % n kdots: dots after a small note or rest drawn at 0 0
  1 1 3 -1 roll{newpath 3.6 mul 2.8 add 1.2 1.3 0 360 arc fill}for}bind def
/kflag{ % x y head flags dots kflag: a small stemmed note showing a duration
  /kd exch def /kn exch def /kh exch def
  gsave T 0 5 T 0.45 dup scale
  kh 2 eq{0 0 HD}{kh 1 eq{0 0 Hd}{0 0 hd}ifelse}ifelse
  kh 2 lt{kn 0 eq{21 su}{kn 21 sfu}ifelse}if
  kd 0 gt{kd kdots}if grestore}bind def
/krest{ % x y glyph dots krest: a small rest sign
  /kd exch def /kg exch def
  gsave T 0 5 T 0.45 dup scale 0 4 kg load exec
  kd 0 gt{0 5 T kd kdots}if grestore}bind def
/ktup{ % (n) x y ktup: a tuplet's number beside the head of the rhythm flag at x y, low in the
  % tab staff's own room, clear of the melody's tuplet number, beam and stems above it
  gsave T /Times-Italic 7 selectfont 3.6 1.2 M show grestore}bind def
/kt{ % (n) x y kt: a tuplet's number over the event at x y, where the tab draws no rhythm flags
  gsave T /Times-Italic 7 selectfont 0 1.2 M showc grestore}bind def
/kdot{M currentpoint 1.2 0 360 arc}bind def
/ktabmid 15 def % the middle of the tab staff over its bottom line, set per tune
/ktab{ % ktab bool: drawing on the tab staff, the one drawn larger than the page
  0 1 dtransform dup mul exch dup mul add sqrt 0 1 matrix defaultmatrix dtransform dup mul exch dup mul add sqrt div
  kscale 1.15 mul gt}bind def
/rdots{ % x y rdots: repeat dots; the tab staff has them either side of its middle
  ktab{ktabmid 6 sub add 2 copy kdot 12 add kdot}{2 copy 9 add kdot 15 add kdot}ifelse fill}bind def
/pclef{ % x y pclef: the TAB mark at the start of a tab staff, its letters stacked and centred
  % on the staff's height, white behind them as printed tab has it; y is 3 below the middle
  gsave 3 add dup 2 mul 0.31 mul /kp exch def T % the middle; a letter's pitch from the staff's height
  /Helvetica-Bold kp selectfont /kc kp 0.72 mul def % the letters' cap height
  (A) stringwidth pop /kw exch def
  1 setgray kw -0.5 mul 1.2 sub kp -1.36 mul 0.6 sub kw 2.4 add kp 2.72 mul 1.2 add rectfill 0 setgray
  0 kp 0.64 mul M (T) showc 0 kp -0.36 mul M (A) showc 0 kp -1.36 mul M (B) showc grestore}bind def
/kmet false def
/kmeter{ % x y proc [bx by bw bh] kmeter: abcm2ps draws a meter for five lines, over the box
  % given from its x y; on the tab staff it is moved to the staff's middle (and made smaller
  % on four lines), the lines blanked behind it
  ktab kmet not and{/kmet true def gsave /kmbox exch def
    ktabmid 9 eq{2 index 9 T 0.75 dup scale 2 index neg -12 T}{0 ktabmid 12 sub T}ifelse
    1 setgray 2 index kmbox 0 get add 2 index kmbox 1 get add kmbox 2 get kmbox 3 get rectfill 0 setgray
    exec grestore /kmet false def}{pop exec}ifelse}bind def
/kdigits{ % (n)... k size kdigits w: the width of the widest of k meter texts in abcm2ps's meter font
  gsave /Times-Bold exch selectfont 0 exch{exch stringwidth pop 1.2 mul 2 copy lt{exch}if pop}repeat grestore}bind def
/kbox{ % w by bh kbox [bx by bw bh]: a box round a text of width w, from by up bh
  /kbh exch def /kby exch def /kbw exch def [kbw -0.5 mul 1 sub kby kbw 2 add kbh]}bind def
/ktsig /tsig load def % (n)(d) x y tsig: two texts over y+1 and y+13
/tsig{/ktsig load 4 index 4 index 2 16 kdigits 2 20 kbox kmeter}bind def
/kstsig /stsig load def % (n) x y stsig: one text over y+7
/stsig{/kstsig load 3 index 1 18 kdigits 5 17 kbox kmeter}bind def
/kcsig /csig load def % x y csig: C around y, from x
/csig{/kcsig load [-1 -8 12 16] kmeter}bind def
/kctsig /ctsig load def
/ctsig{/kctsig load [-1 -9 12 18] kmeter}bind def
)";

// The note values a rhythm flag can show: decoration suffix, head (0 black,
// 1 open, 2 whole), flags, and the rest glyph of the same value.
struct Value {
  const char* kind;
  int head, flags;
  const char* rest;
};
constexpr std::array<Value, 7> kValues{{
    {"1", 2, 0, "r1"},
    {"2", 1, 0, "r2"},
    {"4", 0, 0, "r4"},
    {"8", 0, 1, "r8"},
    {"16", 0, 2, "r16"},
    {"32", 0, 3, "r32"},
    {"64", 0, 4, "r64"},
}};

constexpr std::array<const char*, 3> kDots{"", "d", "dd"};

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

// abcm2ps keeps room under every system for half the space to the next
// one, and starts a new page when a system and that room don't fit above
// the bottom margin. Under the last system of a page the room is wasted, and
// a tune that fits to its last staff spills that system over: so we hand on
// a margin smaller by the room, and the lowest staff still keeps the margin
// the tune asks for (abcm2ps's 1cm without one). Words printed under a
// tune's last system have no such room: with them the margin goes as it is.
std::string bottomMargin(const Page& page) {
  constexpr double kMargin = 28.35;  // abcm2ps's own: 1cm
  const std::optional<double> asked = page.bottomMargin.empty() ? kMargin : points(page.bottomMargin);
  if (!asked || page.wordsAfter) {
    return page.bottomMargin.empty() ? "" : "%%botmargin " + page.bottomMargin + "\n";
  }
  const double room = page.staffsep / 2 * kBaseScale * page.scale;
  return "%%botmargin " + num(std::max(0.0, *asked - room)) + "pt\n";
}

}  // namespace

std::optional<double> points(std::string_view length) {
  std::size_t i = 0;
  while (i < length.size() && (isDigit(length[i]) || length[i] == '.')) ++i;
  double value = 0;
  const auto [end, error] = std::from_chars(length.data(), length.data() + i, value);
  if (i == 0 || error != std::errc{} || end != length.data() + i) return std::nullopt;
  const std::string_view unit = length.substr(i);
  if (unit.empty() || unit == "pt") return value;
  if (unit == "cm") return value * 72 / 2.54;
  if (unit == "in") return value * 72;
  return std::nullopt;
}

double musicWidth(const Page& page) {
  constexpr double kMargins = 2 * 1.8 * 72 / 2.54;  // abcm2ps's own: 1.8cm either side
  const double paper = page.letter || !page.height.empty() ? 8.5 * 72 : 21 * 72 / 2.54;
  return (paper - kMargins) / (kBaseScale * page.scale);
}

std::string prolog(const Page& page) {
  std::string out = "% abcm2ps input made by abctab2ps\n";
  if (page.letter || !page.height.empty()) {
    out += "%%pagewidth 8.5in\n";
    out += "%%pageheight " + (page.height.empty() ? std::string("11in") : page.height) + "\n";
  } else {
    out += "%%pagewidth 21cm\n%%pageheight 29.7cm\n";
  }
  out += bottomMargin(page);
  if (page.scale != 1.0) out += "%%scale " + num(kBaseScale * page.scale) + "\n";
  // A tab staff stays on the page even where a line holds only rests.
  out += "%%staffnonote 2\n";
  out += kProcs;
  out += "/kscale " + num(kBaseScale * page.scale) + " def % the page's scale\n";
  for (const Value& v : kValues) {
    for (int d = 0; d < 3; ++d) {
      const std::string kind = std::string(v.kind) + kDots[d];
      out += "/kq" + kind + "{" + std::to_string(v.head) + " " + std::to_string(v.flags) + " " +
             std::to_string(d) + " kflag}bind def\n";
      out += "/kr" + kind + "{/" + v.rest + " " + std::to_string(d) + " krest}bind def\n";
      for (const char* q : {"/kq", "/kr"}) out += q + kind + "t{2 copy " + (q + 1) + kind + " ktup}bind def\n";
    }
  }
  out += "%%endps\n";
  for (std::size_t fret = 0; fret < kry::kFretLetters.size(); ++fret) {
    const std::string n = std::to_string(fret);
    out += "%%deco head-kf" + n + " 0 kfret 0 0 0 " + n + "\n";
    out += "%%deco head-kh" + n + " 0 kfret 0 0 0 (" + n + ")\n";  // held by a tie
  }
  for (const Value& v : kValues) {
    for (int d = 0; d < 3; ++d) {
      const std::string kind = std::string(v.kind) + kDots[d];
      out += "%%deco kq" + kind + " 3 kq" + kind + " 14 3 3\n";
      out += "%%deco kr" + kind + " 3 kr" + kind + " 14 3 3\n";
    }
  }
  // "kq8t3": the procedure kq8t, with the number as the decoration's text; "kt3" a number alone.
  for (const std::string& name : page.numbered) {
    const std::size_t t = name.rfind('t');
    out += "%%deco " + name + " 3 " + name.substr(0, t + 1) + " 14 3 7 " + name.substr(t + 1) + "\n";
  }
  out += "\n";
  return out;
}

}  // namespace kry::typeset
