#include "run/driver.h"

#include <algorithm>
#include <optional>
#include <thread>

#include "convert/convert.h"
#include "fixup/fixup.h"
#include "run/messages.h"
#include "run/chunks.h"
#include "run/ledger.h"
#include "run/midi.h"
#include "run/parallel.h"
#include "run/places.h"
#include "run/prompt.h"
#include "base/stop.h"
#include "base/text.h"
#include "run/usage.h"

namespace kry {
namespace {

constexpr std::size_t kMessageWidth = 79;

// Holds the directory for the run and lets it go on every way out.
class DirectoryLock {
 public:
  explicit DirectoryLock(Platform& platform) : platform_(platform) { platform_.lockDirectory(); }
  ~DirectoryLock() { platform_.unlockDirectory(); }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  Platform& platform_;
};

// The work file that `name` is called, in any case of its letters, or leads
// to; nullptr when it is none of them.
const char* workFileOf(const std::string& name, Platform& platform) {
  std::string file = name.substr(name.rfind('/') + 1);
  upcase(file, static_cast<int>(file.size()));
  for (const char* work : kWorkFiles)
    if (file == work || platform.sameFile(name, work)) return work;
  return nullptr;
}

// The run replaces or removes its work files: a tune file named as one of
// them, in any case (where case does not matter in names it is one of them),
// would be lost, so it is refused before the run touches any.
void refuseWorkFile(const TuneNames& names, Platform& platform) {
  if (const char* work = workFileOf(names.input, platform))
    throw Stop(std::string(" The tune file can't be named ") + work + ", kry's own work file.", kExitStopped,
               " Rename " + names.input + " (to tune.abc, say) and run kry again.\n");
}

// A work file of the run that is there but is no file of the run's own (a
// link, a folder, a pipe) stops the run before anything is written.
void checkWorkFiles(Platform& platform) {
  for (const char* work : kWrittenWorkFiles) {
    FileKind kind = platform.kindOf(work, false);
    if (kind != FileKind::kMissing && kind != FileKind::kRegular) throw badWorkFile(work, kind);
  }
}

// What is wrong with a tune file that is there but can't be staged: not a
// regular file, or not readable.
void refuseTuneFile(const std::string& name, FileKind kind, Platform& platform) {
  if (kind == FileKind::kDanglingLink)
    throw Stop(" " + name + " is a link to a file that is not there.", kExitStopped);
  if (kind != FileKind::kRegular) throw Stop(" " + name + " is " + kindName(kind) + ", not a tune file.", kExitStopped);
  std::string why = platform.readFault(name);
  if (!why.empty()) throw Stop(" " + name + " can't be read: " + why + ".", kExitStopped);
}

// Threads that convert chunks of a large collection ahead: one a core, up to
// four; none on a single core.
unsigned workerThreads() {
  unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? std::min(cores, 4U) : 0;
}

// Copies the user's tune to TMPIN.TMP; the user's file itself is only read.
// A name given without its ".abc" is tried with ".ABC" too, for file names
// where case matters, unless that names one of kry's work files.
void stage(TuneNames& names, Platform& platform) {
  platform.remove(kStagedTune);  // left by a run that ended early: never convert it
  std::vector<std::string> tried{names.input};
  if (names.added) {
    std::string capitals = names.input.substr(0, names.input.size() - 4) + ".ABC";
    if (workFileOf(capitals, platform) == nullptr) tried.push_back(capitals);
  }
  for (const std::string& name : tried) {
    FileKind kind = platform.kindOf(name, true);
    if (kind == FileKind::kMissing) continue;
    if (kind == FileKind::kRegular) platform.copy(name, kStagedTune);
    if (platform.exists(kStagedTune)) {
      names.input = name;
      return;
    }
    refuseTuneFile(name, kind, platform);
    throw Stop::ioError("cannot copy " + name + " to " + kStagedTune);
  }
  std::string looked = " Looked for " + tried[0];
  for (std::size_t k = 1; k < tried.size(); ++k) looked += " and " + tried[k];
  throw Stop(kNoInputFile, kExitStopped, looked + ".\n");
}

// The PostScript file, and the PDF with option pdf, named after the tune file
// or by out=: a name in a folder that is not there is refused before anything
// is converted, and so is a name that would replace the tune file itself.
void checkOutput(const TuneNames& names, const Options& options, Platform& platform) {
  std::size_t slash = names.base.rfind('/');
  if (!options.out.empty() && slash != std::string::npos) {
    std::string folder = slash == 0 ? "/" : names.base.substr(0, slash);
    if (!platform.isFolder(folder))
      refuseOption("out=" + options.out, "out=" + options.out + ": there is no folder " + folder +
                                             "; make it first, or name another, for example out=" +
                                             options.out.substr(options.out.rfind('/') + 1) + " in this folder.");
  }
  std::vector<std::string> outputs{outputName(names.base, "ps")};
  if (options.pdf) outputs.push_back(outputName(names.base, "pdf"));
  if (options.midi) outputs.push_back(outputName(names.base, "mid"));
  for (const std::string& output : outputs)
    if (platform.sameFile(names.input, output))
      throw Stop(" The output file " + output + " would replace the tune file; name it another way with out=NAME.",
                 kExitStopped);
}

// The stop when x= chooses no tune of the file.
Stop noTuneChosen(const Options& options, const std::string& input) {
  const TuneList& list = *options.tunes;
  std::string chosen = list.byNumber() && list.byTitle() ? "numbered or titled " : list.byTitle() ? "titled " : "numbered ";
  return Stop(" No tune " + chosen + options.tuneListText + " in " + input + ".", kExitStopped);
}

// Option list: each tune's number and titles, those x= chooses when it is
// given, and the voices of a tune that names them. A tune's line is written
// once the tune is whole, its voices known.
void listTunes(ByteSource& staged, const Options& options, const std::string& input, std::ostream& out) {
  Headings headings;
  std::optional<TuneHeading> tune;  // the heading of the tune being read
  TuneVoices voices;
  bool any = false;
  auto list = [&] {
    if (tune && (!options.tunes || options.tunes->chooses(*tune))) {
      const std::string named = voices.text();
      out << listLine(*tune) << (named.empty() ? "" : "  (voices: " + named + ")") << '\n';
      any = true;
    }
    tune.reset();
    voices = TuneVoices{};
  };
  eachLine(staged, [&](std::string_view raw) {
    std::string_view line = trim(raw);
    std::optional<TuneHeading> whole = headings.line(raw);
    if (whole) tune = std::move(whole);
    if (!line.empty() && isHeaderLine(line) && fieldIs(line, 'X')) return list();
    if (!line.empty()) voices.line(line);
  });
  if (std::optional<TuneHeading> whole = headings.finish()) tune = std::move(whole);
  list();
  if (options.tunes && !any) throw noTuneChosen(options, input);
}

// Where the conversion writes. Without f, KRY97.ABC, which then becomes
// TEMP.ABC under a second name. With f, the fix-up pass goes along with the
// conversion into KRY97.FIX, which becomes TEMP.ABC when the user agrees; the
// converted tune KRY97.ABC is then needed only by a run that stops before,
// and is given back then from the fixed-up lines and what the pass changed.
class ConvertedTune {
 public:
  ConvertedTune(Platform& platform, bool fixUp) : platform_(platform), fixUp_(fixUp) {
    const char* name = fixUp ? kFixedTune : kConvertedTune;
    file_ = platform.create(name);
    if (!file_) throw Stop::ioError(std::string("cannot create ") + name);
    if (fixUp) {
      changes_.emplace(platform.scratch());
      fixing_.emplace(*file_, &*changes_);
    }
  }
  // The fixed-up tune goes unless it became TEMP.ABC: any run makes it again.
  ~ConvertedTune() {
    file_.reset();
    if (fixUp_ && !kept_) platform_.remove(kFixedTune);
  }
  ConvertedTune(const ConvertedTune&) = delete;
  ConvertedTune& operator=(const ConvertedTune&) = delete;

  // Where the conversion writes: with f, through the fix-up pass.
  LineSink& file() { return fixing_ ? static_cast<LineSink&>(*fixing_) : *file_; }
  void close() { file_->close(); }

  // Makes TEMP.ABC, asking first when it exists.
  void makeFinal(std::ostream& out) {
    if (platform_.exists(kFinalTune)) uhoh(kFinalTunePrompt, platform_, out);
    if (!fixUp_ && !platform_.share(kConvertedTune, kFinalTune))
      throw Stop::ioError(std::string("cannot write ") + kFinalTune);
    if (fixUp_ && !platform_.rename(kFixedTune, kFinalTune))
      throw Stop::ioError(std::string("cannot create ") + kFinalTune);
    kept_ = fixUp_;
  }

  // A run with f that stops before TEMP.ABC is made leaves the converted tune,
  // as every run does: the fix-up pass's changes are taken back.
  void leaveConverted() {
    if (!fixUp_) return;
    try {
      file_->close();
      std::unique_ptr<ByteSource> fixed = platform_.openRead(kFixedTune);
      std::unique_ptr<LineSink> converted = platform_.create(kConvertedTune);
      if (!fixed || !converted) return;
      changes_->giveBack(*fixed, *converted);
      converted->close();
    } catch (const Stop&) {  // a work file that fails: the run ends with its own stop
    }
  }

 private:
  Platform& platform_;
  bool fixUp_;
  std::unique_ptr<LineSink> file_;
  std::optional<FixUpLedger> changes_;
  std::optional<FixUpSink> fixing_;
  bool kept_ = false;
};

// Tunes left out with skip: the others are typeset, but a script must notice.
Stop leftOutStop(const ConvertSummary& summary) {
  return Stop(std::to_string(summary.leftOut) + " of " + std::to_string(summary.tunes) + " tunes left out.",
              kExitStopped);
}

// Runs the typesetter. Its messages about lines of the final tune are passed
// on with their places in the tune file; everything else it says comes through
// as it says it.
void typeset(const TypesetCommand& command, const std::string& input, OriginLedger& origins, Platform& platform,
             std::ostream& out) {
  out << ' ' << command.shown << '\n' << '\n';
  out.flush();
  TypesetterMessages messages;
  int status = platform.runProgram(command.args, [&messages](std::string_view line) { return messages.take(line); });
  messages.passOn(out, input, origins);
  if (status == 0) return;
  std::string failure = status == kNotStarted
                            ? std::string(kTypesetter) + " could not be started"
                            : std::string(kTypesetter) + " failed with exit status " + std::to_string(status);
  out << ' ' << failure << "; the converted tune is kept in " << kFinalTune << ".\n";
  out.flush();
  platform.remove(kStagedTune);
  platform.remove(kConvertedTune);
  throw Stop("Typesetting failed: " + failure + ".", kExitStopped);
}

// Ghostscript's options: a PDF with every font it uses embedded (as subsets),
// so the frets and the TAB mark print as they were set on any machine.
std::vector<std::string> ghostscriptArgs() {
  return {kGhostscript,        "-q",         "-dSAFER",         "-dBATCH",          "-dNOPAUSE",
          "-sDEVICE=pdfwrite", "-dPDFSETTINGS=/prepress", "-dEmbedAllFonts=true", "-dSubsetFonts=true",
          std::string("-sOutputFile=") + kPdfFile, "-f", kPdfPages};
}

// The pages of the PostScript file as a PDF beside it. Ghostscript reads
// names as commands ("|", "%pipe%") and page patterns ("%d"): it works in a
// temporary folder on names of our own, and its PDF is moved into place only
// when it succeeded and the file it wrote is a PDF.
void writePdf(const std::string& base, Platform& platform, std::ostream& out) {
  std::string ps = outputName(base, "ps"), pdf = outputName(base, "pdf");
  out << ' ' << kGhostscript << " writes " << pdf << ": the pages of " << ps << "\n\n";
  out.flush();
  auto failed = [&](const std::string& why) {
    out << ' ' << why << "; the PostScript file " << ps << " is kept.\n";
    return Stop("No PDF written: " + why + ".", kExitStopped);
  };
  if (!platform.exists(ps)) {
    out << " There is no PostScript file " << ps << " to make the PDF from.\n";
    throw Stop("No PDF written: there is no PostScript file " + ps + ".", kExitStopped);
  }
  std::optional<std::string> made = platform.makeTempFolder();
  if (!made) throw failed("cannot make a temporary folder");
  const TempFolder folder(platform, *made);
  if (!platform.share(ps, folder.file(kPdfPages))) throw failed("cannot read " + ps);
  int status = platform.runProgramIn(ghostscriptArgs(), folder.path(), folder.file(kPdfLog));
  if (status == kNotStarted) throw failed("Ghostscript (gs) could not be started; install the package ghostscript");
  if (status != 0) {
    if (std::unique_ptr<ByteSource> log = platform.openRead(folder.file(kPdfLog)))
      eachLine(*log, [&](std::string_view line) { out << " gs: " << line << '\n'; });
    throw failed(std::string("gs failed with exit status ") + std::to_string(status));
  }
  std::unique_ptr<ByteSource> written = platform.openRead(folder.file(kPdfFile));
  char head[4] = {};
  std::size_t got = 0;
  for (std::size_t more = 1; written && got < sizeof head && more > 0; got += more) more = written->read(head + got, sizeof head - got);
  written.reset();
  if (got != sizeof head || std::string_view(head, sizeof head) != "%PDF") throw failed("gs wrote no PDF");
  if (!platform.moveInto(folder.file(kPdfFile), pdf)) throw failed("the PDF could not be named " + pdf);
}

}  // namespace

TuneNames deriveNames(const std::string& arg) {
  TuneNames names;
  names.input = trimRight(arg);
  std::size_t slash = names.input.rfind('/');
  std::size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = names.input.find('.', fileStart);
  if (dot == std::string::npos) {
    names.base = names.input;
    names.input += ".abc";
    names.added = true;
  } else {
    names.base = names.input.substr(0, dot + 1);
  }
  return names;
}

TypesetCommand typesetCommand(const std::string& base, const Options& options) {
  TypesetCommand command;
  command.shown = std::string(kTypesetter) + " " + kShownFinalTune + " -1 -O";
  command.args = {kTypesetter, kFinalTune, "-1", "-O", base};
  command.shown = std::string(trimRight(command.shown + " " + base));
  if (options.transposition != 0) {
    int steps = options.transposition;
    std::string count = steps > 0 ? std::to_string(steps) : "_" + std::to_string(-steps);
    command.shown += " -t " + count;
    command.args.insert(command.args.end(), {"-t", count});
  }
  if (options.scaleFactor != 1.0F) {
    command.shown = std::string(trimRight(command.shown + " -s " + options.scaleText));
    command.args.insert(command.args.end(), {"-s", options.scaleText});
  }
  return command;
}

std::string processedLines(const std::string& input) {
  std::string name = input;
  upcase(name, static_cast<int>(name.size()));
  std::string text = name + " processed.";
  std::string lines;
  for (std::size_t at = 0; at < text.size(); at += kMessageWidth)
    lines.append(1, ' ').append(text, at, kMessageWidth).append(1, '\n');
  return lines;
}

void run(const std::vector<std::string>& args, Platform& platform, std::ostream& out) {
  if (args.empty()) return help(out, kVersion);
  if (args[0] == "--version") {
    out << "kry " << kVersion << '\n';
    return;
  }
  banner(out);
  if (args[0] == "/?" || args[0] == "?") return help(out, kVersion);
  if (args[0] == "--help" || args[0] == "-h") return fullHelp(out);
  TuneNames names = deriveNames(args[0]);

  refuseWorkFile(names, platform);
  DirectoryLock lock(platform);
  checkWorkFiles(platform);
  stage(names, platform);
  std::unique_ptr<ByteSource> staged = platform.openRead(kStagedTune);
  if (!staged) throw Stop::ioError(std::string("cannot open ") + kStagedTune);

  Options options;
  readOptions({args.begin() + 1, args.end()}, options);
  if (!options.out.empty()) names.base = options.out;
  checkOutput(names, options, platform);
  if (options.list) {
    listTunes(*staged, options, names.input, out);
    staged.reset();
    platform.remove(kStagedTune);
    return;
  }
  const ConvertSettings settings = options.convertSettings();
  ConvertedTune converted(platform, options.fixUp);
  OriginLedger origins(platform.scratch());
  ConvertSummary summary;
  try {
    summary = convertInChunks(*staged, converted.file(), settings, out, workerThreads(), kChunkSize, &origins);
    out << '\n';
    converted.close();
    staged.reset();
    if (options.tunes && summary.tunes == 0) throw noTuneChosen(options, names.input);
    if (summary.leftOut > 0 && summary.leftOut == summary.tunes) throw leftOutStop(summary);
    converted.makeFinal(out);
  } catch (...) {
    staged.reset();
    converted.leaveConverted();
    throw;
  }
  out << processedLines(names.input);
  typeset(typesetCommand(names.base, options), names.input, origins, platform, out);
  // The MIDI file is made from the final tune before it goes; the PostScript file stands whatever becomes of it.
  std::optional<Stop> noMidi = options.midi ? writeMidi(names.base, settings.instrument, platform, out) : std::nullopt;

  platform.remove(kStagedTune);
  platform.remove(kConvertedTune);
  if (!options.debug) platform.remove(kFinalTune);
  if (options.pdf) writePdf(names.base, platform, out);
  if (noMidi) throw *noMidi;
  if (summary.leftOut > 0) throw leftOutStop(summary);
}

}  // namespace kry
