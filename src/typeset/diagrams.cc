#include "typeset/diagrams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kry::typeset {

namespace {

// The sizes of a diagram, in the music's units (a staff's lines are 6 apart).
constexpr double kStringGap = 8;   // between two strings
constexpr double kFretGap = 10;    // between two frets
constexpr double kDot = 2.8;       // a stopped string's dot, its radius
constexpr double kMark = 2.2;      // the open string's ring and the half width of the muted string's cross
constexpr double kNameSize = 10;   // the chord's name
constexpr double kPositionSize = 7;  // the fret number beside the first fret drawn
constexpr double kAbove = 22;      // the name and the marks over the top of the grid
constexpr double kBelow = 8;       // room under the grid
constexpr double kSide = 15;       // room either side of the grid, for the fret number
constexpr double kLeast = 56;      // the narrowest a diagram is, for its name
// The frets a diagram shows at the least: as many as the hand spans.
constexpr int kRows = 4;

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string text(buf);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

// A PostScript string of `text`.
std::string psString(const std::string& text) {
  std::string out = "(";
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out + ")";
}

double cellWidth(std::size_t strings) {
  return std::max(kLeast, static_cast<double>(strings - 1) * kStringGap + 2 * kSide);
}

// One diagram, its grid's top left corner at x y.
void draw(const ChordDiagram& d, const Frets& shown, int rows, double x, double y, std::string& ps) {
  const double right = x + static_cast<double>(d.strings.size() - 1) * kStringGap;
  const double bottom = y - rows * kFretGap;
  ps += "/Helvetica-Bold " + num(kNameSize) + " selectfont " + psString(d.name) + " dup stringwidth pop -2 div " +
        num((x + right) / 2) + " add " + num(y + kAbove - kNameSize) + " moveto show\n";
  ps += "0.5 setlinewidth\n";
  for (int row = 0; row <= rows; ++row)
    ps += num(x) + " " + num(y - row * kFretGap) + " moveto " + num(right) + " " + num(y - row * kFretGap) + " lineto stroke\n";
  if (shown.first == 1) {
    ps += "2 setlinewidth " + num(x - 0.25) + " " + num(y + 1) + " moveto " + num(right + 0.25) + " " + num(y + 1) +
          " lineto stroke 0.5 setlinewidth\n";
  } else {
    ps += "/Helvetica " + num(kPositionSize) + " selectfont (" + std::to_string(shown.first) + ") dup stringwidth pop neg " +
          num(x - kDot - 3) + " add " + num(y - kFretGap / 2 - kPositionSize * 0.35) + " moveto show\n";
  }
  for (std::size_t s = 0; s < d.strings.size(); ++s) {
    const DiagramString& string = d.strings[s];
    const double sx = x + static_cast<double>(s) * kStringGap;
    // A short string begins at its nut: above it the diagram shows where it is not, dashed.
    const int begins = std::clamp(string.nut - shown.first + 1, 0, rows);
    const double from = string.nut > 0 ? y - begins * kFretGap : y;
    if (from < y) ps += "[1 1.5] 0 setdash " + num(sx) + " " + num(y) + " moveto " + num(sx) + " " + num(from) + " lineto stroke [] 0 setdash\n";
    if (from > bottom) ps += num(sx) + " " + num(from) + " moveto " + num(sx) + " " + num(bottom) + " lineto stroke\n";
    if (string.nut > 0 && begins > 0 && begins < rows)
      ps += "1.5 setlinewidth " + num(sx - 2) + " " + num(from) + " moveto 4 0 rlineto stroke 0.5 setlinewidth\n";
    const double mark = y + kMark + 2.5;
    if (string.fret < 0) {
      ps += num(sx - kMark) + " " + num(mark - kMark) + " moveto " + num(2 * kMark) + " " + num(2 * kMark) + " rlineto " +
            num(sx - kMark) + " " + num(mark + kMark) + " moveto " + num(2 * kMark) + " " + num(-2 * kMark) + " rlineto stroke\n";
    } else if (string.fret == 0) {
      ps += "newpath " + num(sx) + " " + num(mark) + " " + num(kMark) + " 0 360 arc stroke\n";
    } else {
      const double dy = y - (string.fret - shown.first + 0.5) * kFretGap;
      ps += "newpath " + num(sx) + " " + num(dy) + " " + num(kDot) + " 0 360 arc fill\n";
    }
  }
}

}  // namespace

Frets fretsShown(const ChordDiagram& diagram) {
  int low = 0, high = 0;
  for (const DiagramString& string : diagram.strings) {
    if (string.fret <= 0) continue;
    low = low == 0 ? string.fret : std::min(low, string.fret);
    high = std::max(high, string.fret);
  }
  if (high <= kRows) return {1, kRows};
  return {low, std::max(kRows, high - low + 1)};
}

std::string diagramsEps(const std::vector<ChordDiagram>& diagrams, double width) {
  std::size_t most = 1;
  int rows = kRows;
  for (const ChordDiagram& d : diagrams) {
    most = std::max(most, d.strings.size());
    rows = std::max(rows, fretsShown(d).rows);
  }
  const double cell = cellWidth(most);
  // As many rows as the line's width needs, each as full as the others.
  const std::size_t fit = std::max<std::size_t>(1, static_cast<std::size_t>(width / cell));
  const std::size_t lines = (diagrams.size() + fit - 1) / fit;
  const std::size_t perRow = lines == 0 ? fit : (diagrams.size() + lines - 1) / lines;
  const double height = kAbove + rows * kFretGap + kBelow;
  const double total = height * static_cast<double>(std::max<std::size_t>(lines, 1));
  std::string ps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + num(std::ceil(width)) + " " + num(std::ceil(total)) +
                   "\n%%EndComments\ngsave 0 setgray 1 setlinecap\n";
  for (std::size_t k = 0; k < diagrams.size(); ++k) {
    const std::size_t line = k / perRow, place = k % perRow;
    const std::size_t inLine = std::min(perRow, diagrams.size() - line * perRow);
    const double left = (width - static_cast<double>(inLine) * cell) / 2 + static_cast<double>(place) * cell;
    const double strings = static_cast<double>(diagrams[k].strings.size() - 1) * kStringGap;
    draw(diagrams[k], fretsShown(diagrams[k]), rows, left + (cell - strings) / 2,
         total - static_cast<double>(line) * height - kAbove, ps);
  }
  return ps + "grestore\n%%EOF\n";
}

}  // namespace kry::typeset
