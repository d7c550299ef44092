#include "typeset/outline.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace kry::typeset {
namespace {

// The characters of a UTF-8 text; nothing when it is not valid UTF-8.
std::optional<std::vector<std::uint32_t>> utf8(std::string_view text) {
  std::vector<std::uint32_t> chars;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t more = 0;  // the bytes that follow the lead
    std::uint32_t c = lead;
    if (lead >= 0xC2 && lead < 0xE0) {
      more = 1, c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      more = 2, c = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      more = 3, c = lead & 0x07u;
    } else if (lead >= 0x80) {
      return std::nullopt;
    }
    for (std::size_t k = 1; k <= more; ++k) {
      if (i + k >= text.size()) return std::nullopt;
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3Fu);
    }
    if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
      return std::nullopt;
    chars.push_back(c);
    i += more + 1;
  }
  return chars;
}

// The whole lines of `ps`, each without its line end, with where it starts.
struct PsLine {
  std::size_t at;
  std::string_view text;
};
std::vector<PsLine> linesOf(std::string_view ps) {
  std::vector<PsLine> lines;
  for (std::size_t at = 0; at < ps.size();) {
    const std::size_t end = std::min(ps.find('\n', at), ps.size());
    lines.push_back({at, ps.substr(at, end - at)});
    at = end + 1;
  }
  return lines;
}

}  // namespace

std::string shownTitle(std::string_view title, int titletrim) {
  const std::size_t comma = title.rfind(',');
  if (titletrim <= 0 || comma == std::string_view::npos || comma + 2 >= title.size() || title[comma + 1] != ' ' ||
      title[comma + 2] < 'A' || title[comma + 2] > 'Z')
    return std::string(title);
  // As it starts, a single word of at most five characters; set higher,
  // any words up to four characters fewer than the setting.
  const std::string_view word = title.substr(comma + 2);
  const bool moved = titletrim == 1 ? word.size() <= 5 && word.find(' ') == std::string_view::npos
                                    : static_cast<long>(word.size()) <= titletrim - 4L;
  return moved ? std::string(word) + " " + std::string(title.substr(0, comma)) : std::string(title);
}

std::string pdfText(std::string_view text) {
  bool plain = true;
  for (char c : text) plain = plain && c >= ' ' && c <= '~';
  if (plain) {
    std::string s = "(";
    for (char c : text) {
      if (c == '(' || c == ')' || c == '\\') s += '\\';
      s += c;
    }
    return s + ")";
  }
  std::vector<std::uint32_t> chars;
  if (std::optional<std::vector<std::uint32_t>> decoded = utf8(text)) {
    chars = *decoded;
  } else {
    for (char c : text) chars.push_back(static_cast<unsigned char>(c));  // Latin-1, as older tune books are written
  }
  std::string hex = "<FEFF";
  char unit[8];
  for (std::uint32_t c : chars) {
    if (c < ' ') c = ' ';  // a control character in a title shows as a blank
    if (c >= 0x10000) {    // two units, a surrogate pair
      c -= 0x10000;
      std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(0xD800 + (c >> 10)));
      hex += unit;
      c = 0xDC00 + (c & 0x3FF);
    }
    std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(c));
    hex += unit;
  }
  return hex + ">";
}

void OutlineScan::line(std::string_view text, std::size_t at) {
  if (text.starts_with("%%Title: ") && titleAt == npos && page_ == 0) {
    titleAt = at;
    titleEnd = at + text.size();
  }
  if (text == "%%EndSetup" && markAt == npos) markAt = at;
  if (text.starts_with("%%Page: ")) {
    if (page_ == 0 && markAt == npos) markAt = at;
    ++page_;
  }
  // abcm2ps marks where it starts a tune's first page with the tune's number.
  if (text.starts_with("% --- xref ") && page_ > 0) starts.push_back(page_);
}

std::string OutlineScan::marks(const std::string& title, const std::vector<std::string>& entries) const {
  std::string marks =
      "% The PDF's title and outline; a PostScript printer ignores them.\n"
      "/pdfmark where {pop} {userdict /pdfmark /cleartomark load put} ifelse\n"
      "[/Title " + pdfText(title) + " /DOCINFO pdfmark\n";
  if (!starts.empty()) marks += "[/PageMode /UseOutlines /DOCVIEW pdfmark\n";
  for (std::size_t k = 0; k < starts.size() && k < entries.size(); ++k)
    marks += "[/Title " + pdfText(entries[k]) + " /Page " + std::to_string(starts[k]) +
             " /View [/XYZ null null null] /OUT pdfmark\n";
  return marks;
}

std::string titleLine(const std::string& title) {
  std::string shown = title;
  for (char& c : shown)
    if (c == '\r' || c == '\n') c = ' ';
  return "%%Title: " + shown;
}

std::string markOutline(std::string_view ps, const std::string& title, const std::vector<std::string>& entries) {
  OutlineScan scan;
  for (const PsLine& line : linesOf(ps)) scan.line(line.text, line.at);
  if (scan.markAt == OutlineScan::npos) return std::string(ps);
  const std::string marks = scan.marks(title, entries);
  std::string out;
  out.reserve(ps.size() + marks.size() + title.size());
  std::size_t from = 0;
  if (scan.titleAt != OutlineScan::npos) {  // the title a PostScript viewer shows
    out.append(ps.substr(0, scan.titleAt)).append(titleLine(title));
    from = scan.titleEnd;
  }
  out.append(ps.substr(from, scan.markAt - from)).append(marks).append(ps.substr(scan.markAt));
  return out;
}

}  // namespace kry::typeset
