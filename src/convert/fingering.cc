#include "convert/fingering.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kry {
namespace {

// What a hand position costs: it covers four frets from the first finger's;
// a shift costs more than the frets it moves, so the hand shifts rarely; the
// hand keeps to the first five positions where it can; a fretted note costs a
// little more than an open string, and more the higher it is.
constexpr int kSpan = 4;
constexpr double kShift = 3.0;     // any shift, and one more a fret moved
constexpr int kLowPositions = 5;   // the positions that cost nothing
constexpr double kHigh = 0.3;      // a note played a fret above them
constexpr double kHome = 1.0;      // a note played a fret away from the starting fret of pos=N
constexpr double kFretted = 0.05;  // a fret of a fretted note
constexpr int kMostNotes = 6;      // of a chord, placed together; any more are left out

// A way to play an event, and the hand positions (first finger's fret) it fits.
struct Candidate {
  Voicing voicing;
  int lowest = 1, highest = 1;
  double cost = 0;
};

// Every voicing of the notes `order` (indexes into the event, highest first)
// that places as many of them as can be placed: each on a course of its own,
// the fretted ones within a four-fret span.
class Voicer {
 public:
  Voicer(const Event& event, const Fretboard& board, int windows) : event_(event), board_(board), windows_(windows) {
    for (std::size_t k = 0; k < event.pitches.size(); ++k) order_.push_back(k);
    std::stable_sort(order_.begin(), order_.end(),
                     [&](std::size_t a, std::size_t b) { return event.pitches[a] > event.pitches[b]; });
    if (order_.size() > kMostNotes) {
      extra_.assign(order_.begin() + kMostNotes, order_.end());
      order_.resize(kMostNotes);
    }
  }

  std::vector<Candidate> all() {
    choose(0, 0);
    return std::move(found_);
  }

 private:
  void choose(std::size_t k, int placed) {
    if (placed + static_cast<int>(order_.size() - k) < best_) return;  // can't place as many as found already
    if (k == order_.size()) return keep(placed);
    int pitch = event_.pitches[order_[k]];
    for (int course = 1; course <= board_.courses(); ++course) {
      std::optional<int> fret = board_.fretOn(course, pitch);
      if (!fret || frets_[static_cast<std::size_t>(course - 1)] >= 0 || !fits(*fret)) continue;
      frets_[static_cast<std::size_t>(course - 1)] = *fret;
      choose(k + 1, placed + 1);
      frets_[static_cast<std::size_t>(course - 1)] = -1;
    }
    leftOut_.push_back(order_[k]);
    choose(k + 1, placed);
    leftOut_.pop_back();
  }

  // Whether a fret goes with the fretted notes chosen so far.
  bool fits(int fret) const {
    if (fret == 0) return true;
    for (int other : frets_)
      if (other > 0 && std::abs(other - fret) >= kSpan) return false;
    return true;
  }

  void keep(int placed) {
    if (placed > best_) found_.clear(), best_ = placed;
    Candidate c;
    c.voicing.frets = frets_;
    // With every course playing a note, the rest are more than the courses; else no free course plays them.
    Crowded why = placed == board_.courses() ? Crowded::kMoreNotesThanCourses : Crowded::kCoursesTaken;
    for (std::size_t k : leftOut_) c.voicing.leftOut.push_back({event_.written[k], why});
    for (std::size_t k : extra_) c.voicing.leftOut.push_back({event_.written[k], Crowded::kMoreNotesThanCourses});
    int low = std::numeric_limits<int>::max(), high = 0;
    for (int fret : frets_) {
      if (fret <= 0) continue;
      low = std::min(low, fret), high = std::max(high, fret);
      c.cost += kFretted * fret;
    }
    c.lowest = high == 0 ? 1 : std::max(1, high - (kSpan - 1));
    c.highest = high == 0 ? windows_ : std::min(low, windows_);
    if (c.lowest <= c.highest) found_.push_back(std::move(c));
  }

  const Event& event_;
  const Fretboard& board_;
  int windows_;
  std::vector<std::size_t> order_, extra_;  // the notes placed together, highest first; the rest
  std::array<int, 6> frets_{-1, -1, -1, -1, -1, -1};
  std::vector<std::size_t> leftOut_;
  std::vector<Candidate> found_;
  int best_ = 0;
};

double shift(int from, int to) { return from == to ? 0 : kShift + std::abs(to - from); }

}  // namespace

std::vector<Voicing> placeTune(const std::vector<Event>& events, const Fretboard& board, int start) {
  const int windows = std::max(1, board.instrument().reach - (kSpan - 1));  // the first finger at frets 1..windows
  const double kNone = std::numeric_limits<double>::infinity();
  std::vector<std::vector<Candidate>> choices;      // per event that is not tied
  std::vector<std::vector<std::pair<int, int>>> back;  // per such event and window: the window before, the candidate
  std::vector<double> cost(static_cast<std::size_t>(windows + 1), 0.0);
  for (int w = 1; w <= windows; ++w) cost[static_cast<std::size_t>(w)] = start > 0 ? shift(std::min(start, windows), w) : 0.0;
  for (const Event& event : events) {
    if (event.tied && !choices.empty()) continue;
    choices.push_back(Voicer(event, board, windows).all());
    if (choices.back().empty()) choices.back().push_back(Candidate{Voicing{}, 1, windows, 0});  // nothing to place
    std::vector<double> next(cost.size(), kNone);
    back.emplace_back(cost.size(), std::pair{0, 0});
    for (std::size_t c = 0; c < choices.back().size(); ++c) {
      const Candidate& candidate = choices.back()[c];
      for (int w = candidate.lowest; w <= candidate.highest; ++w) {
        double away = start > 0 ? kHome * std::abs(w - start) : kHigh * std::max(0, w - kLowPositions);
        double here = candidate.cost + away;
        for (int before = 1; before <= windows; ++before) {
          double total = cost[static_cast<std::size_t>(before)] + shift(before, w) + here;
          if (total < next[static_cast<std::size_t>(w)]) {
            next[static_cast<std::size_t>(w)] = total;
            back.back()[static_cast<std::size_t>(w)] = {before, static_cast<int>(c)};
          }
        }
      }
    }
    cost = std::move(next);
  }
  // Back from the cheapest last position, then each tied event as the one it is tied from.
  std::vector<Voicing> chosen(choices.size());
  int w = static_cast<int>(std::min_element(cost.begin() + 1, cost.end()) - cost.begin());
  for (std::size_t k = choices.size(); k-- > 0;) {
    auto [before, c] = back[k][static_cast<std::size_t>(w)];
    chosen[k] = choices[k][static_cast<std::size_t>(c)].voicing;
    w = before;
  }
  std::vector<Voicing> voicings;
  std::size_t k = 0;
  for (const Event& event : events) {
    if (event.tied && !voicings.empty()) {
      voicings.push_back(voicings.back());
      voicings.back().leftOut.clear();
    } else {
      voicings.push_back(chosen[k++]);
    }
  }
  return voicings;
}

}  // namespace kry
