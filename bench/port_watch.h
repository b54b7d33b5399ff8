// Reads counted, and writes to the data register as the system's code makes them, stamped when the
// driver's PortOut has returned. Every reference to escribe_puerto in the programs is
// routed through here at link time; a watcher reads the stamps without taking the
// driver's lock, so watching does not slow the writer down.
#pragma once

#include <cstdint>

namespace bench {

struct DataWrite {
  uint64_t count;  // data register writes stamped so far
  int32_t value;   // the last one
  int64_t ns;      // steady clock, when it returned from the driver
};

void watch_data_writes(bool on);
DataWrite last_data_write();

// Port reads the system's code has made: each is a round trip on the serial adaptor.
uint64_t reads_counted();

}  // namespace bench
