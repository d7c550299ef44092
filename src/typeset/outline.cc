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

void OutlineScan::writeMarks(const std::string& title, std::size_t count,
                             const std::function<std::string(std::size_t)>& entry,
                             const std::function<void(std::string_view)>& write) const {
  write("% The PDF's title and outline; a PostScript printer ignores them.\n"
        "/pdfmark where {pop} {userdict /pdfmark /cleartomark load put} ifelse\n");
  write("[/Title " + pdfText(title) + " /DOCINFO pdfmark\n");
  if (!starts.empty()) write("[/PageMode /UseOutlines /DOCVIEW pdfmark\n");
  for (std::size_t k = 0; k < starts.size() && k < count; ++k)
    write("[/Title " + pdfText(entry(k)) + " /Page " + std::to_string(starts[k]) + " /View [/XYZ null null null] /OUT pdfmark\n");
}

std::string OutlineScan::marks(const std::string& title, const std::vector<std::string>& entries) const {
  std::string marks;
  writeMarks(title, entries.size(), [&](std::size_t k) { return entries[k]; }, [&](std::string_view piece) { marks += piece; });
  return marks;
}

std::string titleLine(const std::string& title) {
  std::string shown = title;
  for (char& c : shown)
    if (c == '\r' || c == '\n') c = ' ';
  return "%%Title: " + shown;
}

}  // namespace kry::typeset
