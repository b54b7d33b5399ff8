// A program for the platform's main: prints what WinMain is given. With
// WINMAIN_PROBE_SDL set it starts SDL's video on the dummy driver and waits to be ended.
#include <cstdio>
#include <cstdlib>

#include "SDL.h"
#include "win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  if (std::getenv("WINMAIN_PROBE_SDL") != nullptr) {
    SDL_putenv(const_cast<char*>("SDL_VIDEODRIVER=dummy"));
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) Sleep(1000);
  }
  std::printf("instance=%s previous=%s show=%d\n[%s]\n", instance ? "set" : "null",
              previous ? "set" : "null", show, command_line);
  return 7;
}
