#include "convert/fingering.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kry {
namespace {

// What a hand position costs: it covers four frets from the first finger's;
// a shift costs more than the frets it moves, so the hand shifts rarely; the
// hand keeps to the first five positions where it can; a fretted note costs a
// little more than an open string, and more the higher it is. A note played
// again in its bar at another place costs about a shift: the hand moves
// between the two only where it would move anyway.
constexpr int kSpan = 4;
constexpr double kShift = 3.0;     // any shift, and one more a fret moved
constexpr int kLowPositions = 5;   // the positions that cost nothing
constexpr double kHigh = 0.3;      // a note played a fret above them
constexpr double kHome = 1.0;      // a note played a fret away from the starting fret of pos=N
constexpr double kFretted = 0.05;  // a fret of a fretted note
constexpr double kMoved = 5.0;     // a note of the bar played again elsewhere
constexpr int kMostNotes = 6;      // of a chord, placed together; any more are left out

// A way to play an event, and the hand positions (first finger's fret) it fits.
struct Candidate {
  Voicing voicing;
  int lowest = 1, highest = 1;
  double cost = 0;
};

// The fretted notes of a voicing: the lowest and highest fret (0 for none)
// and the frets from the one to the other.
struct Stretch {
  int low = 0, high = 0;
  int span() const { return high == 0 ? 0 : high - low + 1; }
};
Stretch stretchOf(const std::array<int, 6>& frets) {
  Stretch s{std::numeric_limits<int>::max(), 0};
  for (int fret : frets)
    if (fret > 0) s.low = std::min(s.low, fret), s.high = std::max(s.high, fret);
  if (s.high == 0) s.low = 0;
  return s;
}

// The voicings of an event that place as many of its notes as the courses
// can take at once, each note on a course of its own, the highest note
// always: those whose fretted notes lie within a four-fret span, or where
// none does, those of the narrowest span.
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
    int narrowest = std::numeric_limits<int>::max();
    for (const Found& f : found_) narrowest = std::min(narrowest, f.stretch.span());
    const int widest = std::max(narrowest, kSpan);
    std::vector<Candidate> kept;
    for (Found& f : found_) {
      if (f.stretch.span() > widest) continue;
      Candidate& c = f.candidate;
      if (f.stretch.high == 0) {  // open strings only: any position
        c.lowest = 1, c.highest = windows_;
      } else if (f.stretch.span() <= kSpan) {
        c.lowest = std::max(1, f.stretch.high - (kSpan - 1)), c.highest = std::min(f.stretch.low, windows_);
      } else {  // the hand stretches from its first finger's fret
        c.lowest = c.highest = std::min(f.stretch.low, windows_);
      }
      if (c.lowest <= c.highest) kept.push_back(std::move(c));
    }
    return kept;
  }

 private:
  struct Found {
    Candidate candidate;
    Stretch stretch;
  };

  void choose(std::size_t k, int placed) {
    if (placed + static_cast<int>(order_.size() - k) < best_) return;  // can't place as many as found already
    if (k == order_.size()) return keep(placed);
    int pitch = event_.pitches[order_[k]];
    bool playable = false;
    for (int course = 1; course <= board_.courses(); ++course) {
      std::optional<int> fret = board_.fretOn(course, pitch);
      playable = playable || fret.has_value();
      if (!fret || frets_[static_cast<std::size_t>(course - 1)] >= 0) continue;
      frets_[static_cast<std::size_t>(course - 1)] = *fret;
      choose(k + 1, placed + 1);
      frets_[static_cast<std::size_t>(course - 1)] = -1;
    }
    if (k == 0 && playable) return;  // the melody's note stays
    leftOut_.push_back(order_[k]);
    choose(k + 1, placed);
    leftOut_.pop_back();
  }

  void keep(int placed) {
    if (placed > best_) found_.clear(), best_ = placed;
    Found f;
    Candidate& c = f.candidate;
    c.voicing.frets = frets_;
    // With every course playing a note, the rest are more than the courses; else no free course plays them.
    Crowded why = placed == board_.courses() ? Crowded::kMoreNotesThanCourses : Crowded::kCoursesTaken;
    for (std::size_t k : leftOut_) c.voicing.leftOut.push_back({event_.written[k], why});
    for (std::size_t k : extra_) c.voicing.leftOut.push_back({event_.written[k], Crowded::kMoreNotesThanCourses});
    for (int fret : frets_)
      if (fret > 0) c.cost += kFretted * fret;
    f.stretch = stretchOf(frets_);
    found_.push_back(std::move(f));
  }

  const Event& event_;
  const Fretboard& board_;
  int windows_;
  std::vector<std::size_t> order_, extra_;  // the notes placed together, highest first; the rest
  std::array<int, 6> frets_{-1, -1, -1, -1, -1, -1};
  std::vector<std::size_t> leftOut_;
  std::vector<Found> found_;
  int best_ = 0;
};

double shift(int from, int to) { return from == to ? 0 : kShift + std::abs(to - from); }

// The events of the tune the hand places (those not tied), each with its
// voicings, the cheapest voicing at each hand position (-1 where none fits),
// and the event before it in its bar that it plays again, if any.
struct Step {
  std::vector<Candidate> choices;
  std::vector<int> cheapest;
  long again = -1;
};

std::vector<Step> stepsOf(const std::vector<Event>& events, const Fretboard& board, int windows) {
  std::vector<Step> steps;
  std::vector<const Event*> placed;
  for (const Event& event : events) {
    if (event.tied && !steps.empty()) continue;
    Step step;
    step.choices = Voicer(event, board, windows).all();
    if (step.choices.empty()) step.choices.push_back(Candidate{Voicing{}, 1, windows, 0});  // nothing to place
    step.cheapest.assign(static_cast<std::size_t>(windows + 1), -1);
    for (std::size_t c = 0; c < step.choices.size(); ++c) {
      const Candidate& candidate = step.choices[c];
      for (int w = candidate.lowest; w <= candidate.highest; ++w) {
        int& best = step.cheapest[static_cast<std::size_t>(w)];
        if (best < 0 || candidate.cost < step.choices[static_cast<std::size_t>(best)].cost) best = static_cast<int>(c);
      }
    }
    for (std::size_t k = placed.size(); k-- > 0 && placed[k]->bar == event.bar;) {
      if (!event.pitches.empty() && placed[k]->pitches == event.pitches) {
        step.again = static_cast<long>(k);
        break;
      }
    }
    placed.push_back(&event);
    steps.push_back(std::move(step));
  }
  return steps;
}

// What moving the hand from `before` to `w` costs the notes of the bar played
// again after this point: each that both positions play, at two places.
double moved(const std::vector<Step>& steps, const std::vector<std::size_t>& pending, int before, int w) {
  double cost = 0;
  for (std::size_t j : pending) {
    const Step& s = steps[j];
    int was = s.cheapest[static_cast<std::size_t>(before)], now = s.cheapest[static_cast<std::size_t>(w)];
    if (was >= 0 && now >= 0 &&
        s.choices[static_cast<std::size_t>(was)].voicing.frets != s.choices[static_cast<std::size_t>(now)].voicing.frets)
      cost += kMoved;
  }
  return cost;
}

}  // namespace

std::vector<Voicing> placeTune(const std::vector<Event>& events, const Fretboard& board, int start) {
  const int windows = std::max(1, board.instrument().reach - (kSpan - 1));  // the first finger at frets 1..windows
  const double kNone = std::numeric_limits<double>::infinity();
  const std::vector<Step> steps = stepsOf(events, board, windows);
  // For each step, the earlier steps whose note is played again at or after it.
  std::vector<std::vector<std::size_t>> pending(steps.size());
  for (std::size_t k = 0; k < steps.size(); ++k)
    if (steps[k].again >= 0)
      for (std::size_t i = static_cast<std::size_t>(steps[k].again) + 1; i <= k; ++i)
        pending[i].push_back(static_cast<std::size_t>(steps[k].again));

  std::vector<std::vector<std::pair<int, int>>> back;  // per step and window: the window before, the candidate
  std::vector<double> cost(static_cast<std::size_t>(windows + 1), 0.0);
  for (int w = 1; w <= windows; ++w) cost[static_cast<std::size_t>(w)] = start > 0 ? shift(std::min(start, windows), w) : 0.0;
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const std::vector<Candidate>& choices = steps[k].choices;
    std::vector<double> next(cost.size(), kNone);
    back.emplace_back(cost.size(), std::pair{0, 0});
    for (std::size_t c = 0; c < choices.size(); ++c) {
      const Candidate& candidate = choices[c];
      for (int w = candidate.lowest; w <= candidate.highest; ++w) {
        double away = start > 0 ? kHome * std::abs(w - start) : kHigh * std::max(0, w - kLowPositions);
        double here = candidate.cost + away;
        for (int before = 1; before <= windows; ++before) {
          double total = cost[static_cast<std::size_t>(before)] + shift(before, w) + here;
          if (before != w && !pending[k].empty()) total += moved(steps, pending[k], before, w);
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
  std::vector<Voicing> chosen(steps.size());
  int w = static_cast<int>(std::min_element(cost.begin() + 1, cost.end()) - cost.begin());
  for (std::size_t k = steps.size(); k-- > 0;) {
    auto [before, c] = back[k][static_cast<std::size_t>(w)];
    chosen[k] = steps[k].choices[static_cast<std::size_t>(c)].voicing;
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
