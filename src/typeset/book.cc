#include "typeset/book.h"

#include <algorithm>
#include <functional>

#include "typeset/diagrams.h"
#include "typeset/outline.h"
#include "typeset/pages.h"
#include "typeset/voices.h"

namespace kry::typeset {

namespace {

// A file written in large pieces: the text is held until there is enough
// of it, then added to the file.
class Spool {
 public:
  Spool(Platform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}
  void write(std::string_view text) {
    buffer_.append(text);
    for (char c : text) digest_ = (digest_ ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;  // FNV-1a
    if (buffer_.size() >= kEnough) flush();
  }
  // False when a piece could not be written.
  bool close() {
    flush();
    return ok_;
  }
  std::uint64_t digest() const { return digest_; }

 private:
  static constexpr std::size_t kEnough = std::size_t{1} << 20;
  void flush() {
    if (!ok_) return;
    ok_ = started_ ? platform_.appendFile(path_, buffer_) : platform_.writeFile(path_, buffer_);
    started_ = true;
    buffer_.clear();
  }
  Platform& platform_;
  std::string path_;
  std::string buffer_;
  bool started_ = false, ok_ = true;
  std::uint64_t digest_ = 0xcbf29ce484222325ULL;
};

// Every line of the file at `path` in turn; false when it can't be read.
template <typename F>
bool eachLine(Platform& platform, const std::string& path, F&& line) {
  LineFeed feed;
  const bool read = platform.readBlocks(path, [&](std::string_view block) { feed.feed(block, line); });
  feed.end(line);
  return read;
}

}  // namespace

bool translateBook(Platform& platform, const std::string& input, const std::string& dir, const Settings& settings,
                   Translation& out, std::uint64_t& digest, std::string* err) {
  // Read once for the page, which the prolog before the first tune sets.
  PageScan scan;
  std::string capital;
  if (!eachLine(platform, input, [&](std::string_view line) { scan.line(capitalTuneNumber(line, capital)); })) {
    *err = "cannot read the input file " + input;
    return false;
  }
  Page page = scan.page();
  page.scale = settings.scale;

  // Read again, tune by tune, into the body; the prolog, which names the
  // rhythm flags the tunes draw, goes before it once all are read.
  Spool body(platform, dir + "/" + kTempBody);
  Origins origin;
  bool figures = true;
  VoiceRouter router(settings, out, [&](Routed& part) {
    for (std::size_t i = 0; i < part.body.size(); ++i) {
      body.write(part.body[i]);
      body.write("\n");
      origin.push(part.origin[i]);
    }
    for (const Drawing& drawing : part.drawings)
      figures = platform.writeFile(dir + "/" + drawing.file, diagramsEps(drawing.diagrams, musicWidth(page))) && figures;
  });
  int n = 0;
  if (!eachLine(platform, input, [&](std::string_view line) { router.line(capitalTuneNumber(line, capital), ++n); })) {
    *err = "cannot read the input file " + input;
    return false;
  }
  router.finish();
  if (!body.close() || !figures) {
    *err = figures ? "cannot write the temporary tune" : "cannot write the chord diagrams";
    return false;
  }
  std::ranges::stable_sort(out.warnings, {}, &Said::line);

  page.numbered = router.numbered();
  Spool tune(platform, dir + "/" + kTempTune);
  const std::string head = prolog(page);
  tune.write(head);
  const bool read = platform.readBlocks(dir + "/" + kTempBody, [&](std::string_view block) { tune.write(block); });
  if (!read || !tune.close()) {
    *err = "cannot write the temporary tune";
    return false;
  }
  origin.lead(static_cast<std::size_t>(std::ranges::count(head, '\n')));
  out.origin = std::move(origin);
  digest = tune.digest();
  return true;
}

namespace {

// The lines of a PostScript file, each with where it starts: they end at LF
// alone. False when the file can't be read.
template <typename F>
bool eachPsLine(Platform& platform, const std::string& path, F&& line) {
  std::string part;         // a line begun in the block before
  std::size_t at = 0;       // where the block starts
  std::size_t lineAt = 0;   // where the next line starts
  const bool read = platform.readBlocks(path, [&](std::string_view block) {
    for (std::size_t from = 0; from < block.size();) {
      const std::size_t end = block.find('\n', from);
      if (end == std::string_view::npos) {
        part.append(block.substr(from));
        break;
      }
      if (part.empty()) {
        line(block.substr(from, end - from), lineAt);
      } else {
        line(std::string_view(part.append(block.substr(from, end - from))), lineAt);
        part.clear();
      }
      lineAt = at + end + 1;
      from = end + 1;
    }
    at += block.size();
  });
  if (!part.empty()) line(std::string_view(part), lineAt);
  return read;
}

// Bytes [at, resume) of a file given in place of what `write` writes.
struct Splice {
  std::size_t at, resume;
  std::function<void(Spool&)> write;
};

// Copies the file at `from` to `out`, with the splices, in order, made.
bool copySpliced(Platform& platform, const std::string& from, const std::vector<Splice>& splices, Spool& out) {
  std::size_t k = 0, pos = 0;  // the next splice; where the block starts
  bool inserted = false;       // the next splice's text is written
  const bool read = platform.readBlocks(from, [&](std::string_view block) {
    for (std::size_t i = 0; i < block.size();) {
      if (k < splices.size() && pos + i >= splices[k].at) {
        const Splice& s = splices[k];
        if (!inserted) s.write(out);
        inserted = true;
        if (pos + i < s.resume) {
          i = std::min(s.resume - pos, block.size());
        } else {
          ++k;
          inserted = false;
        }
        continue;
      }
      const std::size_t stop = k < splices.size() ? std::min(block.size(), splices[k].at - pos) : block.size();
      out.write(block.substr(i, stop - i));
      i = stop;
    }
    pos += block.size();
  });
  return read;
}

}  // namespace

bool markBook(Platform& platform, const std::string& dir, const std::string& title, const std::vector<TuneTitle>& tunes) {
  const std::string ps = dir + "/" + kTempPs;
  OutlineScan scan;
  if (!eachPsLine(platform, ps, [&](std::string_view text, std::size_t at) { scan.line(text, at); })) return false;
  // One entry a tune: its title as the page shows it, or its number when it has none.
  const std::function<std::string(std::size_t)> entry = [&](std::size_t k) {
    const TuneTitle& tune = tunes[k];
    return tune.title.empty() ? "Tune " + tune.number : shownTitle(tune.title, tune.titletrim);
  };
  std::vector<Splice> splices;
  if (scan.markAt != OutlineScan::npos) {
    if (scan.titleAt != OutlineScan::npos)
      splices.push_back({scan.titleAt, scan.titleEnd, [&](Spool& out) { out.write(titleLine(title)); }});
    splices.push_back({scan.markAt, scan.markAt, [&](Spool& out) {
                         scan.writeMarks(title, tunes.size(), entry, [&](std::string_view piece) { out.write(piece); });
                       }});
  }
  Spool marked(platform, dir + "/" + kTempMarked);
  return copySpliced(platform, ps, splices, marked) && marked.close();
}

std::vector<SystemScan::Alone> loneSystems(Platform& platform, const std::string& dir, const char* ps) {
  SystemScan scan;
  eachPsLine(platform, dir + "/" + ps, [&](std::string_view text, std::size_t) { scan.line(text); });
  return scan.alone();
}

namespace {

// Every line of abcm2ps's input at `path` with its origin and the tune it
// belongs to, counted from 1; 0 outside the tunes. A tune runs from its X:
// line to the empty line that ends it.
template <typename F>
bool eachTuneLine(Platform& platform, const std::string& path, const Origins& origin, F&& line) {
  std::size_t n = 0;
  int tune = 0;
  bool in = false;
  return eachLine(platform, path, [&](std::string_view text) {
    if (text.starts_with("X:")) {
      ++tune;
      in = true;
    } else if (in && text.empty()) {
      in = false;
    }
    line(text, origin.at(n++), in ? tune : 0);
  });
}

}  // namespace

std::vector<int> tuneLines(Platform& platform, const std::string& dir, const Origins& origin) {
  std::vector<int> lines;
  eachTuneLine(platform, dir + "/" + kTempTune, origin, [&](std::string_view text, const Origin& from, int) {
    if (text.starts_with("X:")) lines.push_back(from.line);
  });
  return lines;
}

bool someTunes(Platform& platform, const std::string& dir, const Origins& origin, const std::vector<int>& wanted,
               Origins& some) {
  Spool out(platform, dir + "/" + kTempSome);
  const bool read = eachTuneLine(platform, dir + "/" + kTempTune, origin,
                                 [&](std::string_view text, const Origin& from, int tune) {
                                   if (tune > 0 && !std::ranges::binary_search(wanted, tune)) return;
                                   out.write(text);
                                   out.write("\n");
                                   some.push(from);
                                 });
  return read && out.close();
}

}  // namespace kry::typeset
