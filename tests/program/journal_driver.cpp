// A port driver for end-to-end runs: every byte written to the data register is
// appended, one decimal number a line, to the file named by JOURNAL_FILE. The board
// it pretends to be has every input off.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "board/registros.h"
#include "io_driver.h"

namespace {

constexpr int32_t kData = REGISTRO_DATOS, kStatus = REGISTRO_ESTADO;
constexpr uint8_t kAllInputsOff = BITS_DE_GRUPO;

std::mutex journal_lock;

void journal(uint8_t value) {
  const char* name = std::getenv("JOURNAL_FILE");
  if (name == nullptr || *name == '\0') return;
  std::lock_guard<std::mutex> guard(journal_lock);
  // Opened for each byte, so that nothing is lost however the program ends; binary,
  // so that Windows writes the same lines.
  if (std::FILE* file = std::fopen(name, "ab")) {
    std::fprintf(file, "%d\n", value);
    std::fclose(file);
  }
}

}  // namespace

void WINAPI PortOut(int32_t port, uint8_t value) {
  if (port == kData) journal(value);
}
int8_t WINAPI PortIn(int32_t port) {
  return static_cast<int8_t>(port == kStatus ? kAllInputsOff : 0);
}
void WINAPI PortWordOut(int32_t, uint16_t) {}
void WINAPI PortDWordOut(int32_t, uint32_t) {}
uint16_t WINAPI PortWordIn(int32_t) { return 0; }
uint32_t WINAPI PortDWordIn(int32_t) { return 0; }
void WINAPI SetPortBit(int32_t, uint8_t) {}
void WINAPI ClrPortBit(int32_t, uint8_t) {}
void WINAPI NotPortBit(int32_t, uint8_t) {}
int32_t WINAPI GetPortBit(int32_t, uint8_t) { return 0; }
int32_t WINAPI RightPortShift(int32_t, int32_t) { return 0; }
int32_t WINAPI LeftPortShift(int32_t, int32_t) { return 0; }
int32_t WINAPI IsDriverInstalled(void) { return 1; }
