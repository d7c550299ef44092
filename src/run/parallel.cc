#include "run/parallel.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "base/stop.h"
#include "base/text.h"
#include "convert/keysig.h"
#include "convert/tunelist.h"
#include "run/chunks.h"

namespace kry {
namespace {

// A few threads that take jobs in the order given.
class Workers {
 public:
  // As many as can be started, up to `count`: with little memory left, fewer, or none.
  explicit Workers(unsigned count) {
    try {
      for (unsigned k = 0; k < count; ++k) threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
    }
  }
  std::size_t count() const { return threads_.size(); }
  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  std::future<void> run(std::function<void()> job) {
    std::packaged_task<void()> task(std::move(job));
    std::future<void> done = task.get_future();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(task));
    }
    wake_.notify_one();
    return done;
  }

 private:
  void work() {
    for (;;) {
      std::packaged_task<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<void()>> jobs_;
  bool closing_ = false;
};

void convertLines(Conversion& conversion, std::string_view text) {
  Lines lines(text);
  for (std::string_view line; lines.next(line);) conversion.line(line);
}

// The key index after the last key field line of `text`, or `before` when it has none.
int lastKey(std::string_view text, int before) {
  for (std::size_t end = text.size(); end > 0;) {
    std::size_t start = text.find_last_of("\r\n", end - 1);
    start = start == std::string_view::npos ? 0 : start + 1;
    std::string_view line = trim(text.substr(start, end - start));
    if (!line.empty() && fieldIs(line, 'K')) return getkey(keyCodeOf(line));
    end = start == 0 ? 0 : start - 1;
  }
  return before;
}

// A chunk converted apart from the lines before it, on a worker thread.
struct Trial {
  Chunk chunk;
  Progress start;  // where the conversion in order is taken to stand before it
  TextSink out;
  OriginLedger origins;  // its lines counted from the chunk's start
  bool traced = false;   // the origins are wanted
  std::ostringstream said;
  Progress end;
  bool whole = false;  // converted to its end with nothing said
  // The next chunk goes on with its last tune: it ended the tune too soon
  // (with skip, a tune is held until it is whole).
  bool continued = false;

  void convert(const ConvertSettings& settings) {
    Conversion conversion(settings, out, said, start);
    if (traced) conversion.traceOrigins(&origins);
    try {
      convertLines(conversion, chunk.text);
      end = conversion.finish();
      whole = said.tellp() == 0;
    } catch (const Stop&) {  // it stops again, in order, where the run stops
      whole = false;
    }
  }
};

// Whether a chunk converted from `start` comes out as the conversion in
// order, standing at `at`, would convert it. A chunk starts at a tune, which
// clears all but the key, the accidentals of an unfinished bar and the
// symbols of the file's U: fields; after a tune left out, the next starts
// afresh. An X: inside a PostScript or text block starts no tune: a chunk
// cut there is converted in order.
bool startsAlike(const Progress& at, const Progress& start) {
  const TuneState& before = at.leftOut ? TuneState{} : at.tune;
  return before.keyIndex == start.tune.keyIndex && before.accidentals == start.tune.accidentals &&
         at.fileSymbols == start.fileSymbols && !at.kinds.inBlock();
}

// The conversion in order, taken up where the chunks converted apart left it.
class InOrder {
 public:
  InOrder(const ConvertSettings& settings, LineSink& out, std::ostream& messages, OriginLedger* origins)
      : settings_(settings), out_(out), messages_(messages), origins_(origins) {}

  void convert(std::string_view text) {
    if (!conversion_) {
      conversion_.emplace(settings_, out_, messages_, at_);
      conversion_->traceOrigins(origins_);
    }
    convertLines(*conversion_, text);
  }
  // Where it stands once the tune it was converting is whole.
  const Progress& at() {
    if (conversion_) {
      at_ = conversion_->finish();
      conversion_.reset();
    }
    return at_;
  }
  // Takes the lines a chunk converted apart wrote, and goes on where it ended.
  void take(Trial& trial) {
    out_.putLines(trial.out.text());
    if (origins_ != nullptr) origins_->append(trial.origins, at_.lines);
    Progress end = trial.end;
    end.lines += at_.lines;
    end.summary.tunes += at_.summary.tunes;
    end.summary.leftOut += at_.summary.leftOut;
    at_ = std::move(end);
  }

 private:
  const ConvertSettings& settings_;
  LineSink& out_;
  std::ostream& messages_;
  OriginLedger* origins_;
  Progress at_;
  std::optional<Conversion> conversion_;
};

}  // namespace

ConvertSummary convertInChunks(ByteSource& in, LineSink& out, const ConvertSettings& settings, std::ostream& messages,
                               unsigned threads, std::size_t chunkSize, OriginLedger* origins) {
  InOrder inOrder(settings, out, messages, origins);
  TuneChunks chunks(in, chunkSize);
  if (threads == 0) {
    for (Chunk chunk; chunks.next(chunk);) inOrder.convert(chunk.text);
    return inOrder.at().summary;
  }

  std::deque<std::pair<std::shared_ptr<Trial>, std::future<void>>> ahead;
  Workers workers(threads);  // after `ahead`: its threads are joined first
  if (workers.count() == 0) {
    for (Chunk chunk; chunks.next(chunk);) inOrder.convert(chunk.text);
    return inOrder.at().summary;
  }
  // Trials are used again, their room kept: a large collection is converted
  // in the memory of a few chunks.
  std::vector<std::shared_ptr<Trial>> spare;
  auto settle = [&] {
    auto [trial, done] = std::move(ahead.front());
    ahead.pop_front();
    done.get();
    if (trial->whole && !trial->continued && startsAlike(inOrder.at(), trial->start))
      inOrder.take(*trial);
    else
      inOrder.convert(trial->chunk.text);
    spare.push_back(std::move(trial));
  };
  int key = 0;  // of the last key field line read
  for (;;) {
    std::shared_ptr<Trial> trial = spare.empty() ? std::make_shared<Trial>() : std::move(spare.back());
    if (!spare.empty()) spare.pop_back();
    trial->start = Progress{};
    trial->out.clear();
    trial->said.str("");
    trial->whole = trial->continued = false;
    trial->origins.clear();
    trial->traced = origins != nullptr;
    if (!chunks.next(trial->chunk)) break;
    if (!trial->chunk.apart) {  // part of a long tune: only in order
      if (!ahead.empty()) ahead.back().first->continued = true;
      while (!ahead.empty()) settle();
      inOrder.convert(trial->chunk.text);
      key = lastKey(trial->chunk.text, key);
      spare.push_back(std::move(trial));
      continue;
    }
    trial->start.tune.keyIndex = key;
    key = lastKey(trial->chunk.text, key);
    ahead.emplace_back(trial, workers.run([trial, &settings] { trial->convert(settings); }));
    while (ahead.size() > threads) settle();
  }
  while (!ahead.empty()) settle();
  return inOrder.at().summary;
}

}  // namespace kry
