#include "io.h"

#include <cstdlib>

HMODULE hio;
#define IO_ENTRY_POINT_VARIABLE(name, result, parameters) name##_t name;
IO_ENTRY_POINTS(IO_ENTRY_POINT_VARIABLE)
#undef IO_ENTRY_POINT_VARIABLE

std::atomic<int32_t> registros_de_salida;

template <typename Entrada>
static Entrada resolver(const char* nombre) {
  // Through void*: a direct cast between unrelated function types draws a warning.
  return reinterpret_cast<Entrada>(reinterpret_cast<void*>(GetProcAddress(hio, nombre)));
}

int32_t LoadIODLL() {
  hio = LoadLibraryA(NOMBRE_DRIVER);
  if (hio == nullptr) return 1;
#define IO_ENTRY_POINT_RESOLVE(name, result, parameters) name = resolver<name##_t>(#name);
  IO_ENTRY_POINTS(IO_ENTRY_POINT_RESOLVE)
#undef IO_ENTRY_POINT_RESOLVE
  // Both threads of the lift program bind; only one of them may register.
  int32_t ninguno = 0;
  if (registros_de_salida.compare_exchange_strong(ninguno, 1)) atexit(UnloadIODLL);
  return 0;
}

void UnloadIODLL() {
  if (hio != nullptr) FreeLibrary(hio);
}

void escribe_puerto(int32_t puerto, int32_t valor) {
  const PortOut_t escribir = PortOut;
  if (escribir != nullptr) escribir(puerto, static_cast<uint8_t>(valor & OCTETO_MAXIMO));
}

int32_t lee_puerto(int32_t puerto) {
  const PortIn_t leer = PortIn;
  if (leer == nullptr) return LECTURA_SIN_DRIVER;
  return leer(puerto);  // int8_t widens with its sign
}
