// Stands in front of SDL's own SDL_SetVideoMode and SDL_Init, so that a test can make
// either fail the way a missing display would.
#include "sdl_switches.h"

#include <dlfcn.h>

bool fail_video_mode = false;
bool fail_init = false;

namespace {

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags) {
  static auto next = real<SDL_Surface* (*)(int, int, int, Uint32)>("SDL_SetVideoMode");
  if (fail_video_mode || next == nullptr) {
    SDL_SetError("no video mode in this test");
    return nullptr;
  }
  return next(width, height, bpp, flags);
}

extern "C" int SDL_Init(Uint32 flags) {
  static auto next = real<int (*)(Uint32)>("SDL_Init");
  // SDL calls this itself to bring video up for a video mode; only the program's own
  // call, with video already up, is the one to fail.
  if ((fail_init && SDL_WasInit(SDL_INIT_VIDEO)) || next == nullptr) {
    SDL_SetError("no SDL in this test");
    return -1;
  }
  return next(flags);
}
