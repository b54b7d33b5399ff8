// Recordings of a run: each format an Observer of its own (vcd.h, plot.h).
//
// Something that follows a run of the board: the checks, the waveform recorder, the
// timeline. Fed in time order by whoever looks at the board (the script runner).
#pragma once

#include <cstdint>
#include <vector>

#include "board_model.h"

namespace placasim {

class Observer {
 public:
  virtual ~Observer() = default;
  // Every output change, in order, with the time and cabin position it happened at.
  virtual void on_change(const sim::OutputChange& change) = 0;
  // The board as seen at now_ns, after the changes up to then.
  virtual void on_look(const sim::BoardState& board, int64_t now_ns) = 0;
  // The board was powered on afresh (by this run or another process): its counts and
  // output history restarted, and whatever was going on before is over.
  virtual void on_power_on(const sim::BoardState& board) { (void)board; }
};

// Where a watcher is in the board's output history, across power-ons.
class History {
 public:
  struct Step {
    bool powered_on = false;
    uint64_t missed = 0;    // changes gone from the history before they were seen
    uint64_t from = 0, to = 0;  // the changes to follow now: changes[i % kChangeHistory]
  };
  // from_power_on: the watcher follows the board from its latest power-on (this run
  // powered it on); else from the first look.
  explicit History(bool from_power_on) : from_power_on_(from_power_on) {}

  Step next(const sim::BoardState& board) {
    Step step;
    const bool first = !looked_;
    if (first ? from_power_on_ : board.power_ons != power_ons_) {
      step.powered_on = true;
      seen_ = 0;
    } else if (first) {
      seen_ = board.changes_total;
    }
    looked_ = true;
    power_ons_ = board.power_ons;
    // Counts never run backwards within one power-on; one that did is a power-on missed.
    if (board.changes_total < seen_) seen_ = 0;
    if (board.changes_total - seen_ > static_cast<uint64_t>(sim::kChangeHistory)) {
      step.missed = board.changes_total - seen_ - sim::kChangeHistory;
      seen_ = board.changes_total - sim::kChangeHistory;
    }
    step.from = seen_;
    step.to = seen_ = board.changes_total;
    return step;
  }

  // Tells the observers of a power-on and feeds them the new changes; the step taken.
  Step feed(const sim::BoardState& board, const std::vector<Observer*>& observers) {
    const Step step = next(board);
    if (step.powered_on)
      for (Observer* o : observers) o->on_power_on(board);
    for (uint64_t i = step.from; i < step.to; ++i)
      for (Observer* o : observers) o->on_change(board.changes[i % sim::kChangeHistory]);
    return step;
  }

 private:
  bool from_power_on_;
  bool looked_ = false;
  uint64_t power_ons_ = 0;
  uint64_t seen_ = 0;
};

}  // namespace placasim
