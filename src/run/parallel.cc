#include "run/parallel.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "base/text.h"
#include "convert/chunks.h"
#include "fixup/fixup.h"

namespace kry {
namespace {

// A few threads that take jobs in the order given.
class Workers {
 public:
  explicit Workers(unsigned count) {
    for (unsigned k = 0; k < count; ++k) threads_.emplace_back([this] { work(); });
  }
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

// The converted tune's lines on their way to `out` through the fix-up pass;
// `Sink` is the kind of `out`, known for a trial's lines kept in memory.
template <class Sink>
class FixingSink : public LineSink {
 public:
  explicit FixingSink(Sink& out) : out_(out) {}

  void put(std::string_view head, std::string_view tail) override {
    // A melody or header line goes without its trailing blanks; the fix-up
    // pass need not see it whole.
    if (tail.empty()) {  // a line written whole, as a header line is
      std::string_view line = trimRight(head);
      return line.starts_with("[V:G]") ? out_.put(fix_.line(line)) : out_.put(line);
    }
    std::string_view trimmed = trimRight(tail);
    if (head.size() >= 5 && !head.starts_with("[V:G]") && !trimmed.empty()) return out_.put(head, trimmed);
    out_.put(fix_.line(line_.assign(head).append(tail)));
  }
  // A tab-voice line is written straight into `out` and fixed up there.
  char* reserve(std::size_t most) override { return room_ = out_.reserve(most + kSpare); }
  void commit(std::size_t used) override {
    if (fix_.spare() <= kSpare) return out_.commit(fix_.fix(room_, used));
    out_.put(fix_.line(line_.assign(room_, used)));  // a rhythm length too long for the room
  }
  void close() override { out_.close(); }

  FixUp& fix() { return fix_; }

 private:
  static constexpr std::size_t kSpare = 16;  // room for a rhythm length in a line written in place
  Sink& out_;
  FixUp fix_;
  std::string line_;
  char* room_ = nullptr;
};

// The lines of a chunk, one after the other.
void convertInOrder(Conversion& conversion, const std::string& text) {
  TextLines lines(text);
  std::string_view line;
  while (lines.next(line)) conversion.line(line);
}

// A chunk converted apart from the lines before it, on a worker thread. A
// trial is used again for a later chunk, its room kept.
struct Trial {
  Chunk chunk;
  bool first = false;  // the file's first chunk: nothing comes before it
  TextSink out;
  FixingSink<TextSink> fixing{out};
  std::ostringstream said;
  std::unique_ptr<Conversion> conversion;
  bool stands = false;  // converted whole, with nothing said and no rhythm length unsure

  void attempt(const TunePass& pass, const FingerChart& chart) {
    out.clear();
    said.str("");
    conversion = std::make_unique<Conversion>(pass.convert, pass.fixUp ? static_cast<LineSink&>(fixing) : out, said);
    fixing.fix() = FixUp{};
    if (!first) {
      conversion->startAtTune(chart);
      fixing.fix().startAtTune();
    }
    try {
      convertInOrder(*conversion, chunk.text);
      stands = said.tellp() == 0 && !fixing.fix().unsure();
    } catch (...) {  // a stop, or music before a key: it is converted again in order
      stands = false;
    }
  }
};

}  // namespace

ConvertSummary convertInChunks(ByteSource& in, LineSink& out, const TunePass& pass, std::ostream& messages,
                               unsigned threads, std::size_t chunkSize, ChunkCounts* counts) {
  ChunkCounts ignored;
  ChunkCounts& count = counts != nullptr ? *counts : ignored;
  FixingSink<LineSink> fixing(out);
  Conversion conversion(pass.convert, pass.fixUp ? static_cast<LineSink&>(fixing) : out, messages);
  TuneChunks chunks(in, chunkSize);
  if (threads == 0) {
    Chunk chunk;
    while (chunks.next(chunk)) convertInOrder(conversion, chunk.text);
    return conversion.finish();
  }

  FingerChart chart;  // ready for every key, copied into every trial
  for (int key = 0; key < 15; ++key) chart.forKey(key, pass.convert.board);
  std::deque<std::pair<std::shared_ptr<Trial>, std::future<void>>> ahead;
  std::vector<std::shared_ptr<Trial>> spare;
  Workers workers(threads);  // after `ahead`: its threads are joined first
  auto settle = [&] {
    auto [trial, done] = std::move(ahead.front());
    ahead.pop_front();
    done.get();
    if (trial->stands && (trial->first || (conversion.mayFollow() && (!pass.fixUp || fixing.fix().mayFollow())))) {
      conversion.follow(*trial->conversion);
      fixing.fix().follow(trial->fixing.fix());
      out.putLines(trial->out.text());
      ++count.apart;
    } else {
      convertInOrder(conversion, trial->chunk.text);
      ++count.again;
    }
    spare.push_back(std::move(trial));
  };
  bool first = true;
  for (;;) {
    std::shared_ptr<Trial> trial = spare.empty() ? std::make_shared<Trial>() : std::move(spare.back());
    if (!spare.empty()) spare.pop_back();
    if (!chunks.next(trial->chunk)) break;
    if (!first && !trial->chunk.atTune) {  // part of a long tune: only in order
      while (!ahead.empty()) settle();
      convertInOrder(conversion, trial->chunk.text);
      spare.push_back(std::move(trial));
      continue;
    }
    trial->first = first;
    first = false;
    ahead.emplace_back(trial, workers.run([trial, &pass, &chart] { trial->attempt(pass, chart); }));
    while (ahead.size() > threads) settle();
  }
  while (!ahead.empty()) settle();
  return conversion.finish();
}

}  // namespace kry
