// The cabin display: each picture is loaded afresh, drawn, flipped and released at
// once, since at rest the display repeats at polling speed.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "SDL.h"
#include "ascensor.h"

// A decoded picture the blit can read whole: a corrupt file can decode to a surface
// whose size does not match its pixels (a huge or negative height, a row wider than
// the pitch SDL 1.2 can hold), and blitting that reads far outside it.
static bool imagen_integra(const SDL_Surface* imagen) {
  if (imagen == nullptr || imagen->pixels == nullptr || imagen->format == nullptr) return false;
  const SDL_PixelFormat* formato = imagen->format;
  if (formato->BytesPerPixel < 1 || formato->BytesPerPixel > 4) return false;
  if (formato->BitsPerPixel <= 8 && (formato->palette == nullptr || formato->palette->colors == nullptr))
    return false;
  if (imagen->w <= 0 || imagen->h <= 0) return false;
  const long long fila = static_cast<long long>(imagen->w) * formato->BytesPerPixel;
  return imagen->pitch >= fila;
}

// The graphics window's surface. The mode is set only when there is none of the right
// size: setting it again at every display makes SDL reposition, raise and redecorate
// the window each time, which starves the windows' own events.
static SDL_Surface* superficie_grafica() {
  SDL_Surface* actual = SDL_GetVideoSurface();
  if (actual != nullptr && actual->w == ANCHO_GRAFICOS && actual->h == ALTO_GRAFICOS) return actual;
  return SDL_SetVideoMode(ANCHO_GRAFICOS, ALTO_GRAFICOS, PROFUNDIDAD_GRAFICOS, SDL_NOFRAME);
}

// Said once a run: at rest the display repeats at every pass, and a black window
// alone does not tell a user started elsewhere why.
static void avisar_imagen(const char* nombre, bool encontrada) {
  static std::atomic<bool> avisado{false};
  if (avisado.exchange(true)) return;
  std::error_code error;
  const std::string carpeta = std::filesystem::current_path(error).string();
  std::fprintf(stderr, "elevmando: the cabin picture %s %s in %s (the pictures are read from the working directory)\n",
               nombre, encontrada ? "cannot be drawn" : "cannot be opened", error ? "?" : carpeta.c_str());
}

int32_t mostrar_cabina(int32_t piso) {
  if (piso < PISO_BAJO || piso > PISO_ALTO) return 0;
  SDL_RWops* fuente = SDL_RWFromFile(IMAGENES_CABINA[piso - PISO_BAJO], "rb");
  SDL_Surface* imagen = fuente != nullptr ? SDL_LoadBMP_RW(fuente, 1) : nullptr;
  SDL_Surface* pantalla = superficie_grafica();
  if (pantalla == nullptr) {
    std::printf(TEXTO_ERROR_GRAFICOS, SDL_GetError());
    std::fflush(stdout);
    // Freed here too: a display that keeps failing must not pile pictures up.
    SDL_FreeSurface(imagen);
    SDL_Quit();
    return 1;
  }
  if (imagen_integra(imagen)) {
    SDL_Rect esquina{0, 0, ANCHO_GRAFICOS, ALTO_DESTINO_IMAGEN};
    SDL_UpperBlit(imagen, nullptr, pantalla, &esquina);
  } else {
    avisar_imagen(IMAGENES_CABINA[piso - PISO_BAJO], fuente != nullptr);
  }
  SDL_Flip(pantalla);
  SDL_FreeSurface(imagen);
  // The window's events are read here, by the thread that draws: on X11 nobody else
  // reads them, and SDL's own queue is bounded.
  SDL_PumpEvents();
  return 0;
}
