#include "run/driver.h"

#include "convert/convert.h"
#include "fixup/fixup.h"
#include "run/messages.h"
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
  explicit DirectoryLock(Platform& platform) : platform_(platform) {
    if (!platform_.lockDirectory()) throw Stop(kBusy, kExitStopped);
  }
  ~DirectoryLock() { platform_.unlockDirectory(); }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  Platform& platform_;
};

// Copies the user's tune to TMPIN.TMP; the user's file itself is only read.
void stage(const TuneNames& names, Platform& platform) {
  for (const char* work : {kStagedTune, kConvertedTune})
    if (platform.sameFile(names.input, work))
      throw Stop(std::string(" The tune file can't be named ") + work + ", kry's own work file.",
                 kExitStopped);
  platform.remove(kStagedTune);  // left by a run that ended early: never convert it
  platform.copy(names.input, kStagedTune);
  if (!platform.exists(kStagedTune)) throw Stop(kNoInputFile, kExitStopped);
}

ConvertSummary convertStaged(const Options& options, LineSource& staged, Platform& platform, std::ostream& out) {
  std::unique_ptr<LineSink> converted = platform.create(kConvertedTune);
  if (!converted) throw Stop::ioError(std::string("cannot create ") + kConvertedTune);
  ConvertSummary summary = convert(staged, *converted, options.convertSettings(), out);
  out << '\n';
  converted->close();
  return summary;
}

// fixit: the fix-up pass over the files, making TEMP.ABC from KRY97.ABC with a
// rhythm flag on the first note of every tab-voice line but the first; it asks
// first when TEMP.ABC exists.
void fixit(Platform& platform, std::ostream& out) {
  std::unique_ptr<LineSource> in = platform.openRead(kConvertedTune);
  if (!in) throw Stop::ioError(std::string("cannot open ") + kConvertedTune);
  if (platform.exists(kFinalTune)) uhoh(kFinalTunePrompt, platform, out);
  std::unique_ptr<LineSink> final = platform.create(kFinalTune);
  if (!final) throw Stop::ioError(std::string("cannot create ") + kFinalTune);
  FixUp fixUp;
  std::string_view line;
  while (in->next(line)) final->put(fixUp.line(line));
  final->close();
}

void makeFinalTune(const Options& options, Platform& platform, std::ostream& out) {
  if (options.fixUp) return fixit(platform, out);
  if (platform.exists(kFinalTune)) uhoh(kFinalTunePrompt, platform, out);
  if (!platform.copy(kConvertedTune, kFinalTune))
    throw Stop::ioError(std::string("cannot write ") + kFinalTune);
}

void typeset(const TypesetCommand& command, Platform& platform, std::ostream& out) {
  out << ' ' << command.shown << '\n' << '\n';
  out.flush();
  int status = platform.runProgram(command.args);
  if (status == 0) return;
  std::string failure = status == Platform::kNotStarted
                            ? std::string(kTypesetter) + " could not be started"
                            : std::string(kTypesetter) + " failed with exit status " + std::to_string(status);
  out << ' ' << failure << "; the converted tune is kept in " << kFinalTune << ".\n";
  out.flush();
  platform.remove(kStagedTune);
  platform.remove(kConvertedTune);
  throw Stop("Typesetting failed: " + failure + ".", kExitStopped);
}

// The pages of the PostScript file as a PDF beside it, made by Ghostscript
// under a name of its own and renamed when whole.
void writePdf(const std::string& base, Platform& platform, std::ostream& out) {
  std::string ps = outputName(base, "ps"), pdf = outputName(base, "pdf"), part = pdf + ".part";
  std::string target = part;  // Ghostscript reads "%" in an output name as a page number
  for (std::size_t at = 0; (at = target.find('%', at)) != std::string::npos; at += 2) target.insert(at, 1, '%');
  std::vector<std::string> args{kGhostscript, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                                "-sOutputFile=" + target, "-f", ps};
  std::string shown;
  for (const std::string& arg : args) shown += " " + arg;
  out << shown << "\n\n";
  out.flush();
  int status = platform.runProgram(args);
  if (status == 0 && platform.rename(part, pdf)) return;
  platform.remove(part);
  std::string failure = status == Platform::kNotStarted
                            ? "Ghostscript (gs) could not be started; install the package ghostscript"
                            : status == 0 ? "the PDF could not be named " + pdf
                                          : std::string("gs failed with exit status ") + std::to_string(status);
  out << ' ' << failure << "; the PostScript file " << ps << " is kept.\n";
  throw Stop("No PDF written: " + failure + ".", kExitStopped);
}

}  // namespace

std::string outputName(const std::string& base, const std::string& kind) {
  return base + (!base.empty() && base.back() == '.' ? "" : ".") + kind;
}

TuneNames deriveNames(const std::string& arg) {
  TuneNames names;
  names.input = trimRight(arg);
  std::size_t slash = names.input.rfind('/');
  std::size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = names.input.find('.', fileStart);
  if (dot == std::string::npos) {
    names.base = names.input;
    names.input += ".abc";
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
    out << kVersionLine << '\n';
    return;
  }
  banner(out);
  if (args[0] == "/?" || args[0] == "?") return help(out, kVersion);
  if (args[0] == "--help" || args[0] == "-h") {
    help(out, kVersion);
    return moreHelp(out);
  }
  TuneNames names = deriveNames(args[0]);

  DirectoryLock lock(platform);
  stage(names, platform);
  std::unique_ptr<LineSource> staged = platform.openRead(kStagedTune);
  if (!staged) throw Stop::ioError(std::string("cannot open ") + kStagedTune);

  Options options;
  readOptions({args.begin() + 1, args.end()}, options, out);
  ConvertSummary summary = convertStaged(options, *staged, platform, out);
  staged.reset();
  if (options.tunes && summary.tunes == 0)
    throw Stop(" No tune numbered " + options.tuneListText + " in " + names.input + ".", kExitStopped);
  // Tunes left out with skip: the others are typeset, but a script must notice.
  Stop leftOut(std::to_string(summary.leftOut) + " of " + std::to_string(summary.tunes) + " tunes left out.",
               kExitStopped);
  if (summary.leftOut > 0 && summary.leftOut == summary.tunes) throw leftOut;

  makeFinalTune(options, platform, out);
  out << processedLines(names.input);
  typeset(typesetCommand(names.base, options), platform, out);

  platform.remove(kStagedTune);
  platform.remove(kConvertedTune);
  if (!options.debug) platform.remove(kFinalTune);
  if (options.pdf) writePdf(names.base, platform, out);
  if (summary.leftOut > 0) throw leftOut;
}

}  // namespace kry
