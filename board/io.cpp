#include "io.h"

#include <cstdlib>

HMODULE hio;
PortOut_t PortOut;
PortWordOut_t PortWordOut;
PortDWordOut_t PortDWordOut;
PortIn_t PortIn;
PortWordIn_t PortWordIn;
PortDWordIn_t PortDWordIn;
SetPortBit_t SetPortBit;
ClrPortBit_t ClrPortBit;
NotPortBit_t NotPortBit;
GetPortBit_t GetPortBit;
RightPortShift_t RightPortShift;
LeftPortShift_t LeftPortShift;
IsDriverInstalled_t IsDriverInstalled;

std::atomic<int32_t> registros_de_salida;

template <typename Entrada>
static Entrada resolver(const char* nombre) {
  // Through void*: a direct cast between unrelated function types draws a warning.
  return reinterpret_cast<Entrada>(reinterpret_cast<void*>(GetProcAddress(hio, nombre)));
}

int32_t LoadIODLL() {
  hio = LoadLibraryA(NOMBRE_DRIVER);
  if (hio == nullptr) return 1;
  PortOut = resolver<PortOut_t>("PortOut");
  PortWordOut = resolver<PortWordOut_t>("PortWordOut");
  PortDWordOut = resolver<PortDWordOut_t>("PortDWordOut");
  PortIn = resolver<PortIn_t>("PortIn");
  PortWordIn = resolver<PortWordIn_t>("PortWordIn");
  PortDWordIn = resolver<PortDWordIn_t>("PortDWordIn");
  SetPortBit = resolver<SetPortBit_t>("SetPortBit");
  ClrPortBit = resolver<ClrPortBit_t>("ClrPortBit");
  NotPortBit = resolver<NotPortBit_t>("NotPortBit");
  GetPortBit = resolver<GetPortBit_t>("GetPortBit");
  RightPortShift = resolver<RightPortShift_t>("RightPortShift");
  LeftPortShift = resolver<LeftPortShift_t>("LeftPortShift");
  IsDriverInstalled = resolver<IsDriverInstalled_t>("IsDriverInstalled");
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
  if (escribir != nullptr) escribir(puerto, static_cast<uint8_t>(valor & 0xFF));
}

int32_t lee_puerto(int32_t puerto) {
  const PortIn_t leer = PortIn;
  if (leer == nullptr) return LECTURA_SIN_DRIVER;
  return leer(puerto);  // int8_t widens with its sign
}
