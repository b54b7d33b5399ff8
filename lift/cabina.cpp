// The cabin display: each picture is loaded afresh, drawn, flipped and released at
// once, since at rest the display repeats at polling speed.
#include <cstdio>

#include "SDL.h"
#include "ascensor.h"

int32_t mostrar_cabina(int32_t piso) {
  if (piso < PISO_BAJO || piso > PISO_ALTO) return 0;
  SDL_RWops* fuente = SDL_RWFromFile(IMAGENES_CABINA[piso - PISO_BAJO], "rb");
  SDL_Surface* imagen = fuente != nullptr ? SDL_LoadBMP_RW(fuente, 1) : nullptr;
  SDL_Surface* pantalla =
      SDL_SetVideoMode(ANCHO_GRAFICOS, ALTO_GRAFICOS, PROFUNDIDAD_GRAFICOS, SDL_NOFRAME);
  if (pantalla == nullptr) {
    std::printf(TEXTO_ERROR_GRAFICOS, SDL_GetError());
    std::fflush(stdout);
    // Freed here too: a display that keeps failing must not pile pictures up.
    SDL_FreeSurface(imagen);
    SDL_Quit();
    return 1;
  }
  if (imagen != nullptr) {
    SDL_Rect esquina{0, 0, ANCHO_GRAFICOS, ALTO_DESTINO_IMAGEN};
    SDL_UpperBlit(imagen, nullptr, pantalla, &esquina);
  }
  SDL_Flip(pantalla);
  SDL_FreeSurface(imagen);
  // Each mode set queues window events; on X11 nobody else reads them, and at rest
  // they would pile up at polling speed. SDL's own queue is bounded.
  SDL_PumpEvents();
  return 0;
}
