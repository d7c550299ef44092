#include "typeset/run.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "base/abc.h"
#include "base/contract.h"
#include "typeset/book.h"
#include "typeset/cmdline.h"
#include "typeset/outline.h"
#include "typeset/translate.h"

namespace kry::typeset {

namespace {

const std::string kName = std::string(contract::kTypesetter) + ": ";

// Removes the temporary directory however the run ends.
class TempDir {
 public:
  TempDir(Platform& platform, std::string dir) : platform_(platform), dir_(std::move(dir)) {}
  ~TempDir() { platform_.removeTemp(dir_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const char* name) const { return dir_ + "/" + name; }
  const std::string& dir() const { return dir_; }

 private:
  Platform& platform_;
  std::string dir_;
};

// The pages of a whole PostScript file as abcm2ps writes it, from its end:
// "%%Trailer", then "%%Pages: N". 0 for a file cut short.
int pageCount(std::string_view end) {
  const std::size_t trailer = end.rfind("\n%%Trailer\n");
  if (trailer == std::string_view::npos) return 0;
  const std::size_t pages = end.find("\n%%Pages: ", trailer);
  if (pages == std::string_view::npos) return 0;
  std::size_t at = pages + 10;
  return static_cast<int>(readNumber(end, at).value_or(0));
}

// The input line that line n of our translation, at column col, came from; 0 for none.
int inputLine(const Origins& origin, long n, long col) {
  if (n < 1 || static_cast<std::size_t>(n) > origin.size()) return 0;
  const Origin o = origin.at(static_cast<std::size_t>(n - 1));
  int line = o.line;
  for (const auto& [column, from] : o.joins) {
    if (static_cast<std::size_t>(col) >= column) line = from;
  }
  return line;
}

// abcm2ps's messages about its input, pointed back at the lines of ours.
std::vector<Said> mapMessages(const std::string& log, const std::string& inputName,
                              const Origins& origin) {
  const std::string prefix = std::string(kTempTune) + ":";
  std::vector<Said> out;
  Lines lines(log);
  for (std::string_view read; lines.next(read);) {
    std::string line(read);
    // Short lines are the rule in kry's tunes, one staff line per input line.
    if (line.find("Line underfull") != std::string::npos) continue;
    const bool located = line.rfind(prefix, 0) == 0;
    int from = 0;
    if (located || (line.rfind("Line ", 0) == 0 && line.size() > 5 && isDigit(line[5]))) {
      // "tune.abc:LINE:COLUMN: text" and "Line LINE: text" -> "INPUT:LINE: text"
      std::size_t p = located ? prefix.size() : 5;
      const long n = readNumber(line, p).value_or(0);
      long col = 0;
      if (located && p < line.size() && line[p] == ':' && p + 1 < line.size() && isDigit(line[p + 1])) {
        col = readNumber(line, ++p).value_or(0);
      }
      const auto rest = line.find(": ", p);
      from = inputLine(origin, n, col);
      const std::string text = rest == std::string::npos ? line.substr(p) : line.substr(rest + 2);
      // Built up piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a temporary string.
      line = inputName;
      if (from > 0) line.append(":").append(std::to_string(from));
      line += ": " + text;
    } else if (line.empty() || line[0] == ' ' || line.rfind("abcm2ps-", 0) == 0 ||
               line.rfind("File ", 0) == 0) {
      // Banner, file name and the echo of the source line: ours, not the user's.
      continue;
    }
    out.push_back({from, "abcm2ps: " + line});
  }
  return out;
}

// How often abcm2ps may engrave the tunes: once, and again for each time a
// music line found too wide is broken once more, or a tune that left one
// system alone on its last page is set closer.
constexpr int kMostRounds = 6;

// How often a tune is set closer: each time a little, as abcm2ps allows.
constexpr int kMostCloser = 3;

// Sets closer each tune that left a system alone on its last page, or, set
// as close as it may be, starts a new page before its last two systems;
// false when there is none, or nothing left to do for them.
bool tighten(const std::vector<SystemScan::Alone>& alone, Settings& settings) {
  bool any = false;
  for (const auto& [tune, systems] : alone) {
    if (settings.tighter[tune] < kMostCloser) {
      ++settings.tighter[tune];
      any = true;
    } else if (systems > 2 && !settings.pageBefore.contains(tune)) {
      settings.tighter.erase(tune);  // its pages no longer need it
      settings.pageBefore[tune] = systems - 1;
      any = true;
    }
  }
  return any;
}

// Counts the lines abcm2ps found too wide for a system; false for none.
bool crowd(const std::vector<Said>& messages, std::map<int, int>& crowded) {
  bool any = false;
  for (const Said& m : messages) {
    if (m.line > 0 && m.text.find("Line too much shrunk") != std::string::npos) {
      ++crowded[m.line];
      any = true;
    }
  }
  return any;
}

// Our warnings and abcm2ps's messages, all in the order of the lines they
// name; those that name none last.
void tell(Platform& platform, std::vector<Said> ours, const std::vector<Said>& theirs) {
  for (Said& w : ours) w.text = kName + w.text;
  ours.insert(ours.end(), theirs.begin(), theirs.end());
  std::ranges::stable_sort(ours, {}, [](const Said& w) { return w.line > 0 ? w.line : INT_MAX; });
  for (const Said& w : ours) platform.warn(w.text);
}

// The PDF's title: the book's first title line; with none, the title of its
// only tune; else the name of the PostScript file without its folder and ".ps".
std::string documentTitle(const Translation& tr, const std::string& output) {
  if (!tr.bookTitle.empty()) return shownTitle(tr.bookTitle, tr.bookTitletrim);
  if (tr.titles.size() == 1 && !tr.titles[0].title.empty()) return shownTitle(tr.titles[0].title, tr.titles[0].titletrim);
  std::string name = output.substr(output.rfind('/') + 1);
  return name.ends_with(".ps") && name.size() > 3 ? name.substr(0, name.size() - 3) : name;
}

// One outline entry a tune: its title as the page shows it, or its number when it has none.
std::vector<std::string> outlineEntries(const Translation& tr) {
  std::vector<std::string> entries;
  for (const TuneTitle& tune : tr.titles)
    entries.push_back(tune.title.empty() ? "Tune " + tune.number : shownTitle(tune.title, tune.titletrim));
  return entries;
}

}  // namespace

int typeset(const std::vector<std::string>& args, Platform& platform) {
  const Parsed parsed = readCommand(args);
  if (!parsed.command) {
    platform.warn(kName + parsed.refusal);
    platform.warn(std::string(kUsage).substr(0, std::string(kUsage).size() - 1));
    return 2;
  }
  const Command& cmd = *parsed.command;

  if (!platform.findProgram("abcm2ps")) {
    platform.warn(std::string(kName) +
                  "abcm2ps, the engraver we typeset with, is not on the PATH; "
                  "install the package abcm2ps (apt-get install abcm2ps)");
    return 1;
  }

  Settings settings;
  settings.transpose = cmd.transpose;
  settings.scale = cmd.scale;
  settings.inputName = cmd.input;

  const std::optional<std::string> dir = platform.makeTemp();
  if (!dir) {
    platform.warn(kName + "cannot make a temporary directory");
    return 1;
  }
  const TempDir temp(platform, *dir);
  // The book is read and translated tune by tune into the temporary tune.
  Translation tr;
  std::uint64_t digest = 0;
  std::string why;
  if (!translateBook(platform, cmd.input, temp.dir(), settings, tr, digest, &why)) {
    tell(platform, tr.warnings, {});
    platform.warn(kName + why);
    return 1;
  }
  std::vector<std::string> words{"abcm2ps", "-q"};
  if (cmd.onePerPage) words.push_back("-1");
  words.insert(words.end(), {"-O", kTempPs, kTempTune});
  // A music line abcm2ps has to squeeze past reading is broken into one more
  // system and the tunes engraved again, a few times at most.
  int status = 0;
  std::vector<Said> theirs;
  for (int round = 1;; ++round) {
    status = platform.run(words, temp.dir(), temp.file(kTempLog));
    theirs = mapMessages(platform.readFile(temp.file(kTempLog)).value_or(""), cmd.input, tr.origin);
    const bool crowded = crowd(theirs, settings.crowded);
    const bool alone = status >= 0 && status <= 1 && tighten(loneSystems(platform, temp.dir()), settings);
    if (round == kMostRounds || !(crowded || alone)) break;
    Translation again;
    std::uint64_t changed = 0;
    if (!translateBook(platform, cmd.input, temp.dir(), settings, again, changed, &why)) {
      tell(platform, tr.warnings, theirs);
      platform.warn(kName + why);
      return 1;
    }
    tr = std::move(again);
    if (changed == digest) break;  // nothing left to break or set closer: abcm2ps has read this
    digest = changed;
  }
  tell(platform, tr.warnings, theirs);

  // abcm2ps reports trouble with single notes by exit status 1 and still
  // writes every page; only a run without a whole file is a failure.
  const int pages = pageCount(platform.readEnd(temp.file(kTempPs), 256).value_or(""));
  if (status < 0 || status > 1 || pages == 0) {
    platform.warn(kName + "abcm2ps failed" +
                  (status < 0 ? std::string(" (killed or not started)")
                              : " (exit status " + std::to_string(status) + ")") +
                  "; no PostScript file written");
    return 1;
  }
  // The PDF's title and outline go into the file's setup.
  if (!markBook(platform, temp.dir(), documentTitle(tr, cmd.output), outlineEntries(tr)) ||
      !platform.install(temp.file(kTempMarked), cmd.output)) {
    platform.warn(kName + "cannot write " + cmd.output);
    return 1;
  }
  const std::size_t tunes = tr.titles.size();
  platform.say(kName + "wrote " + cmd.output + " (" + std::to_string(tunes) +
               (tunes == 1 ? " tune, " : " tunes, ") + std::to_string(pages) +
               (pages == 1 ? " page)" : " pages)"));
  return 0;
}

}  // namespace kry::typeset
