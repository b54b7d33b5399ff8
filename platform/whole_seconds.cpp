#include "whole_seconds.h"

#include <unistd.h>

#include "win32.h"

namespace {
// The mingw-w64 sleep multiplies by 1000 in 32 bits, so a long pause goes in pieces.
constexpr unsigned kLongestPiece = 1000;
}  // namespace

void sleep_whole_seconds(uint32_t seconds) {
  if (seconds == 0) {
    // A zero pause only gives the processor away, as the mingw-w64 runtime's sleep(0)
    // does; the POSIX sleep(0) would wait out the timer slack, about 60 us per call.
    Sleep(0);
    return;
  }
  while (seconds > 0) {
    const unsigned piece = seconds < kLongestPiece ? seconds : kLongestPiece;
    // A signal handler may cut a POSIX sleep short; what is left is slept again.
    const unsigned left = sleep(piece);
    seconds -= left < piece ? piece - left : 0;
  }
}
