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
std::vector<Said> mapMessages(const std::string& log, const char* tune, const std::string& inputName,
                              const Origins& origin) {
  const std::string prefix = std::string(tune) + ":";
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
constexpr int kMostRounds = 4;

// How often a tune is set closer: each time a little, as abcm2ps allows.
constexpr int kMostCloser = 1;

// Sets closer each tune that left a system alone on its last page, or, set
// as close as it may be, starts a new page before its last two systems;
// the tunes so changed, none when there is nothing left to do for them.
std::vector<int> tighten(const std::vector<SystemScan::Alone>& alone, Settings& settings) {
  std::vector<int> changed;
  for (const auto& [tune, systems] : alone) {
    if (settings.tighter[tune] < kMostCloser) {
      ++settings.tighter[tune];
      changed.push_back(tune);
    } else if (systems > 2 && !settings.pageBefore.contains(tune)) {
      settings.tighter.erase(tune);  // its pages no longer need it
      settings.pageBefore[tune] = systems - 1;
      changed.push_back(tune);
    }
  }
  return changed;
}

// Counts the lines abcm2ps found too wide for a system; the lines, none
// when there is none.
std::vector<int> crowd(const std::vector<Said>& messages, std::map<int, int>& crowded) {
  std::vector<int> lines;
  for (const Said& m : messages) {
    if (m.line > 0 && m.text.find("Line too much shrunk") != std::string::npos) {
      ++crowded[m.line];
      lines.push_back(m.line);
    }
  }
  return lines;
}

// What one engraving by abcm2ps left: its exit status and its messages.
struct Engraving {
  int status = 0;
  std::vector<Said> theirs;
  bool whole() const { return status >= 0 && status <= 1; }  // every page written
};

// The book, everything the rounds of engraving need.
struct Book {
  Platform& platform;
  const TempDir& temp;
  const Command& cmd;
  Settings settings;
  Translation tr;
  std::uint64_t digest = 0;  // of the translation engraved last
};

// abcm2ps engraves `tune` of the temporary directory into `ps`; `origin`
// points its messages back at the input.
Engraving engrave(const Book& book, const char* tune, const char* ps, const Origins& origin) {
  std::vector<std::string> words{"abcm2ps", "-q"};
  if (book.cmd.onePerPage) words.push_back("-1");
  words.insert(words.end(), {"-O", ps, tune});
  Engraving e;
  e.status = book.platform.run(words, book.temp.dir(), book.temp.file(kTempLog));
  e.theirs = mapMessages(book.platform.readFile(book.temp.file(kTempLog)).value_or(""), tune, book.cmd.input, origin);
  return e;
}

// Translates the book again with its settings; `same` when the text did not
// change. False, with the reason, when a file can't be read or written.
bool retranslate(Book& book, bool& same, std::string* why) {
  Translation again;
  std::uint64_t changed = 0;
  if (!translateBook(book.platform, book.cmd.input, book.temp.dir(), book.settings, again, changed, why)) return false;
  book.tr = std::move(again);
  same = changed == book.digest;
  book.digest = changed;
  return true;
}

// A music line abcm2ps has to squeeze past reading is broken into one more
// system, a tune with a system alone on its last page set closer, and the
// whole book engraved again, a few times at most. `last` is the last
// engraving, of the book as it stands.
bool settleWhole(Book& book, Engraving& last, std::string* why) {
  for (int round = 1;; ++round) {
    last = engrave(book, kTempTune, kTempPs, book.tr.origin);
    const bool crowded = !crowd(last.theirs, book.settings.crowded).empty();
    const bool alone = last.whole() && !tighten(loneSystems(book.platform, book.temp.dir(), kTempPs), book.settings).empty();
    if (round == kMostRounds || !(crowded || alone)) return true;
    bool same = false;
    if (!retranslate(book, same, why)) return false;
    if (same) return true;  // nothing left to break or set closer: abcm2ps has read this
  }
}

// The tunes, counted from 1, that `changed` names or that hold a line of `crowded`.
std::vector<int> tunesOf(std::vector<int> changed, const std::vector<int>& crowded, const std::vector<int>& starts) {
  for (int line : crowded) {
    const auto tune = static_cast<int>(std::ranges::upper_bound(starts, line) - starts.begin());
    if (tune > 0) changed.push_back(tune);
  }
  std::ranges::sort(changed);
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
  return changed;
}

// The tunes `tunes` engraved apart, in a small book of their own: each
// starts a page, so its pages are those it has in the whole book. The
// tunes that changed, counted in the whole book.
bool engraveApart(Book& book, std::vector<int>& tunes, const std::vector<int>& starts, std::string* why) {
  Origins some;
  if (!someTunes(book.platform, book.temp.dir(), book.tr.origin, tunes, some)) {
    *why = "cannot write the temporary tune";
    return false;
  }
  const Engraving e = engrave(book, kTempSome, kTempSomePs, some);
  const std::vector<int> crowded = crowd(e.theirs, book.settings.crowded);
  std::vector<SystemScan::Alone> alone;
  if (e.whole()) alone = loneSystems(book.platform, book.temp.dir(), kTempSomePs);
  for (auto& a : alone) a.tune = a.tune >= 1 && static_cast<std::size_t>(a.tune) <= tunes.size() ? tunes[a.tune - 1] : 0;
  std::erase_if(alone, [](const SystemScan::Alone& a) { return a.tune == 0; });
  tunes = tunesOf(tighten(alone, book.settings), crowded, starts);
  return true;
}

// As settleWhole, for a book of one tune a page: after the first engraving
// of the whole book, only the tunes that still change are engraved again,
// apart; the whole book once more at the end, when any of them did.
bool settleApart(Book& book, Engraving& last, std::string* why) {
  last = engrave(book, kTempTune, kTempPs, book.tr.origin);
  const std::vector<int> crowded = crowd(last.theirs, book.settings.crowded);
  std::vector<int> changed;
  if (last.whole()) changed = tighten(loneSystems(book.platform, book.temp.dir(), kTempPs), book.settings);
  if (crowded.empty() && changed.empty()) return true;
  const std::vector<int> starts = tuneLines(book.platform, book.temp.dir(), book.tr.origin);
  std::vector<int> tunes = tunesOf(std::move(changed), crowded, starts);
  const std::uint64_t first = book.digest;
  for (int round = 2; !tunes.empty(); ++round) {
    bool same = false;
    if (!retranslate(book, same, why)) return false;
    if (same || round == kMostRounds) break;
    if (!engraveApart(book, tunes, starts, why)) return false;
  }
  if (book.digest != first) last = engrave(book, kTempTune, kTempPs, book.tr.origin);
  return true;
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

}  // namespace

namespace {

// The engraved book marked with the PDF's title and outline and installed
// where it was asked for; the exit status.
int finish(Book& book, const Engraving& last) {
  Platform& platform = book.platform;
  // abcm2ps reports trouble with single notes by exit status 1 and still
  // writes every page; only a run without a whole file is a failure.
  const int pages = pageCount(platform.readEnd(book.temp.file(kTempPs), 256).value_or(""));
  if (!last.whole() || pages == 0) {
    platform.warn(kName + "abcm2ps failed" +
                  (last.status < 0 ? std::string(" (killed or not started)")
                                   : " (exit status " + std::to_string(last.status) + ")") +
                  "; no PostScript file written");
    return 1;
  }
  // The PDF's title and outline go into the file's setup.
  const std::string& output = book.cmd.output;
  if (!markBook(platform, book.temp.dir(), documentTitle(book.tr, output), book.tr.titles) ||
      !platform.install(book.temp.file(kTempMarked), output)) {
    platform.warn(kName + "cannot write " + output);
    return 1;
  }
  const std::size_t tunes = book.tr.titles.size();
  platform.say(kName + "wrote " + output + " (" + std::to_string(tunes) + (tunes == 1 ? " tune, " : " tunes, ") +
               std::to_string(pages) + (pages == 1 ? " page)" : " pages)"));
  return 0;
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
  const std::optional<std::string> dir = platform.makeTemp();
  if (!dir) {
    platform.warn(kName + "cannot make a temporary directory");
    return 1;
  }
  const TempDir temp(platform, *dir);
  Book book{platform, temp, cmd, {}, {}, 0};
  book.settings.transpose = cmd.transpose;
  book.settings.scale = cmd.scale;
  book.settings.inputName = cmd.input;
  // The book is read and translated tune by tune into the temporary tune.
  std::string why;
  Engraving last;
  if (!translateBook(platform, cmd.input, temp.dir(), book.settings, book.tr, book.digest, &why) ||
      !(cmd.onePerPage ? settleApart(book, last, &why) : settleWhole(book, last, &why))) {
    tell(platform, book.tr.warnings, last.theirs);
    platform.warn(kName + why);
    return 1;
  }
  tell(platform, book.tr.warnings, last.theirs);
  return finish(book, last);
}

}  // namespace kry::typeset
