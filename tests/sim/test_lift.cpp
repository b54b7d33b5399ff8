// A lift controller reduced to the board's wiring, for testing placasim with a
// program on the other side of the driver: a call starts the cabin toward its
// floor, that floor's sensor stops it.
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "board/io.h"

namespace {

constexpr int kSafetySeconds = 120;

int inputs() {
  escribe_puerto(REGISTRO_CONTROL, 3);
  const int low = ((lee_puerto(REGISTRO_ESTADO) & 0x78) >> 3) ^ 0x0F;
  escribe_puerto(REGISTRO_CONTROL, 1);
  const int high = ((lee_puerto(REGISTRO_ESTADO) & 0x78) >> 3) ^ 0x0F;
  return high << 4 | low;
}

void motor(int byte) {
  escribe_puerto(REGISTRO_CONTROL, 7);
  escribe_puerto(REGISTRO_DATOS, byte);
}

}  // namespace

int main() {
  std::signal(SIGALRM, SIG_DFL);
  alarm(kSafetySeconds);
  std::printf("test lift polling\n");  // must not reach a trace on standard output
  std::fflush(stdout);
  int floor = 1, target = 0;
  for (;;) {
    LoadIODLL();
    const int in = inputs();
    for (int f = 1; f <= 3; ++f)
      if (in & (8 << (f - 1))) floor = f;
    for (int f = 1; f <= 3; ++f)
      if ((in & (1 << (f - 1))) && !target && f != floor) {
        target = f;
        motor(f > floor ? 2 : 1);
      }
    if (target && (in & (8 << (target - 1)))) {
      motor(0);
      target = 0;
    }
  }
}
