#include "typeset/translate.h"

#include <algorithm>
#include <deque>
#include <optional>

#include "base/text.h"
#include "typeset/diagrams.h"
#include "typeset/prolog.h"
#include "typeset/voices.h"

namespace kry::typeset {

void Origins::push(const Origin& o) {
  const std::size_t k = steps_.size();
  if (!o.joins.empty()) joins_.emplace_back(k, o.joins);
  if (k % kEvery == 0) marks_.push_back(o.line);
  const long step = static_cast<long>(o.line) - last_;
  if (step > kFar && step <= 127) {
    steps_.push_back(static_cast<std::int8_t>(step));
  } else {
    steps_.push_back(kFar);
    far_.emplace_back(k, o.line);
  }
  last_ = o.line;
}

Origin Origins::at(std::size_t n) const {
  if (n < lead_ || n >= size()) return {};
  const std::size_t k = n - lead_;
  int line = marks_[k / kEvery];
  for (std::size_t j = k / kEvery * kEvery + 1; j <= k; ++j) {
    if (steps_[j] != kFar) {
      line += steps_[j];
    } else {
      line = std::ranges::lower_bound(far_, j, {}, [](const auto& f) { return f.first; })->second;
    }
  }
  Origin o{line, {}};
  const auto it = std::ranges::lower_bound(joins_, k, {}, [](const auto& j) { return j.first; });
  if (it != joins_.end() && it->first == k) o.joins = it->second;
  return o;
}

void PageScan::endTune() {
  if (inTune_) least_ = std::min(least_.value_or(1e9), tune_.value_or(file_.value_or(page_.staffsep)));
}

void PageScan::line(std::string_view line) {
  if (kinds_.classify(trim(line, kBlanksAndTabs)) == LineKind::kBlock) return;
  if (line.starts_with("%%pageheight")) {
    page_.height = std::string(trim(line.substr(12), kBlanksAndTabs));
    page_.letter = page_.height == "11in";
  } else if (line.starts_with("%%botmargin") && page_.bottomMargin.empty()) {
    page_.bottomMargin = std::string(trim(line.substr(11), kBlanksAndTabs));
  } else if (line.starts_with("%%staffsep")) {
    const std::optional<double> sep = points(trim(line.substr(10), kBlanksAndTabs));
    if (sep) (inTune_ ? tune_ : file_) = std::min(*sep, (inTune_ ? tune_ : file_).value_or(*sep));
  } else if (startsTune(line)) {
    endTune();
    inTune_ = true;
    tune_.reset();
  } else if (line.starts_with("W:")) {
    page_.wordsAfter = true;
  }
}

Page PageScan::page() {
  endTune();
  inTune_ = false;
  page_.staffsep = least_.value_or(file_.value_or(page_.staffsep));
  return page_;
}

std::string_view capitalTuneNumber(std::string_view line, std::string& capital) {
  if (!line.starts_with("x:")) return line;
  capital = "X:";
  capital += line.substr(2);
  return capital;
}

Translation translate(std::string_view text, const Settings& settings) {
  std::vector<std::string_view> lines;
  std::deque<std::string> capitals;
  Lines reader(text);
  for (std::string_view line; reader.next(line);) lines.push_back(capitalTuneNumber(line, capitals.emplace_back()));

  Translation out;
  PageScan scan;
  for (std::string_view line : lines) scan.line(line);
  Page page = scan.page();
  page.scale = settings.scale;
  const Routed tr = routeVoices(lines, settings, out);
  std::ranges::stable_sort(out.warnings, {}, &Said::line);

  page.numbered = tr.numbered;
  for (const Drawing& drawing : tr.drawings) out.files.emplace_back(drawing.file, diagramsEps(drawing.diagrams, musicWidth(page)));
  out.abc = prolog(page);
  out.origin.lead(static_cast<std::size_t>(std::ranges::count(out.abc, '\n')));
  for (std::size_t i = 0; i < tr.body.size(); ++i) {
    out.abc += tr.body[i];
    out.abc += "\n";
    out.origin.push(tr.origin[i]);
  }
  return out;
}

}  // namespace kry::typeset
