#include "typeset/translate.h"

#include <algorithm>
#include <optional>

#include "base/text.h"
#include "typeset/diagrams.h"
#include "typeset/prolog.h"
#include "typeset/voices.h"

namespace kry::typeset {

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
    if (line.starts_with("%%pageheight")) {
      page.height = std::string(trim(line.substr(12), kBlanksAndTabs));
      page.letter = page.height == "11in";
    } else if (line.starts_with("%%botmargin") && page.bottomMargin.empty()) {
      page.bottomMargin = std::string(trim(line.substr(11), kBlanksAndTabs));
    } else if (line.starts_with("%%staffsep")) {
      const std::optional<double> sep = points(trim(line.substr(10), kBlanksAndTabs));
      if (sep) (inTune ? tune : file) = std::min(*sep, (inTune ? tune : file).value_or(*sep));
    } else if (line.starts_with("X:")) {
      endTune();
      inTune = true;
      tune.reset();
    } else if (line.starts_with("W:")) {
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
  const Routed tr = routeVoices(lines, settings, out);
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
