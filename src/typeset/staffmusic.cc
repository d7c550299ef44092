#include "typeset/staffmusic.h"

#include <algorithm>
#include <vector>

#include "base/text.h"

namespace kry::typeset {

namespace {

// Where a comment starts on a melody line, outside chord symbols.
std::size_t commentAt(std::string_view s) {
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    if (s[i] == '%' && !quoted) return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string_view music(std::string_view body) {
  body = body.substr(0, commentAt(body));
  return trimRight(body, kBlanksAndTabs);
}

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

}  // namespace kry::typeset
