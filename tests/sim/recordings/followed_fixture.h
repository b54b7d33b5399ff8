// The model on a fake clock followed by an observer, fed as the script runner feeds
// it: every output change, then a look every 2 ms.
#pragma once

#include "recordings/observer.h"
#include "simulated_board/model_fixture.h"

namespace sim {

class Followed : public Model {
 protected:
  void feed() {
    for (; seen < b.changes_total; ++seen) follower->on_change(b.changes[seen % kChangeHistory]);
    follower->on_look(b, now);
  }
  void pass(int64_t ns) {
    for (int64_t t = 0; t < ns; t += 2 * kMs) {
      run_for(2 * kMs);
      feed();
    }
  }
  placasim::Observer* follower = nullptr;
  uint64_t seen = 0;
};

}  // namespace sim
