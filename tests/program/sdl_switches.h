// Switches that make the graphics library's start fail for one test.
#pragma once

#include "SDL.h"

extern bool fail_video_mode;  // SDL_SetVideoMode gives no surface
extern bool fail_init;        // SDL_Init gives -1 once video is up
