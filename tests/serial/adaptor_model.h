// The adaptor's side of the protocol, as the firmware behaves, for the fakes the
// tests put at the far end of a port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class AdaptorModel {
 public:
  // One byte from the host; any answer is appended to `answer`.
  void take(uint8_t byte, std::vector<uint8_t>& answer);

  uint8_t data = 0, control = 0, status = 0;
  int version;
  std::string signature;
  int identifies = 0, reads = 0, writes = 0;
  int broken_frames = 0;  // a request cut short by another command byte

  AdaptorModel();

 private:
  int pending_ = -1;  // a write's command byte awaiting its payload
};
