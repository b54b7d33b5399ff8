// A port driver for end-to-end runs of the lift program.
//
// Journal: the file named by JOURNAL_FILE gets one line per event, "WHAT VALUE MS"
// with MS the wall-clock time in milliseconds since 1970:
//   controller B   motor byte B written by the thread that reads the inputs; a byte
//                  equal to its previous one is left out (at rest the controller
//                  writes 0 at every pass) unless the windows wrote in between
//   windows B      motor byte B written by any other thread (the buttons), always
//   tap B          input byte B has just been read by the controller
// Inputs: the file named by INPUTS_FILE holds "REST [TAP SEQ]": the input byte the
// board shows, and a button tap: each new SEQ shows TAP for exactly one reading of
// the inputs, then REST again. The file is read again at most every few milliseconds.
// Without it every input is off.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "board/registros.h"
#include "io_driver.h"

namespace {

constexpr int32_t kData = REGISTRO_DATOS, kStatus = REGISTRO_ESTADO, kControl = REGISTRO_CONTROL;
constexpr auto kInputsRefresh = std::chrono::milliseconds(3);

std::mutex lock;
int32_t control = 0;
int last_written = -1;
int rest_byte = 0, tap_byte = 0, tap_seq = 0;
bool tap_pending = false, tap_showing = false;
std::chrono::steady_clock::time_point inputs_read_at{};
thread_local bool reads_inputs = false;

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void journal(const char* what, int value) {
  const char* name = std::getenv("JOURNAL_FILE");
  if (name == nullptr || *name == '\0') return;
  // Opened for each line, so that nothing is lost however the program ends; binary,
  // so that Windows writes the same lines.
  if (std::FILE* file = std::fopen(name, "ab")) {
    std::fprintf(file, "%s %d %lld\n", what, value, now_ms());
    std::fclose(file);
  }
}

void refresh_inputs() {
  const auto now = std::chrono::steady_clock::now();
  if (now - inputs_read_at < kInputsRefresh) return;
  inputs_read_at = now;
  const char* name = std::getenv("INPUTS_FILE");
  if (name == nullptr || *name == '\0') return;
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return;
  int rest = 0, tap = 0, seq = tap_seq;
  const int fields = std::fscanf(file, "%d %d %d", &rest, &tap, &seq);
  std::fclose(file);
  if (fields >= 1) rest_byte = rest & OCTETO_MAXIMO;
  if (fields == 3 && seq != tap_seq) {
    tap_seq = seq;
    tap_byte = tap & OCTETO_MAXIMO;
    tap_pending = true;
  }
}

// A status read carrying one group of four inputs, a line at 0 being an active input.
int8_t status_for(int group) {
  return static_cast<int8_t>((~group & MASCARA_DE_GRUPO) << DESPLAZAMIENTO_DE_GRUPO);
}

}  // namespace

void WINAPI PortOut(int32_t port, uint8_t value) {
  std::lock_guard<std::mutex> guard(lock);
  if (port == kControl) control = value;
  if (port != kData) return;
  if (!reads_inputs) {
    journal("windows", value);
    last_written = -1;  // the controller's next byte shows what it does after the click
    return;
  }
  if (value != last_written) journal("controller", value);
  last_written = value;
}

int8_t WINAPI PortIn(int32_t port) {
  std::lock_guard<std::mutex> guard(lock);
  if (port != kStatus) return 0;
  reads_inputs = true;
  if (control == CONTROL_ENTRADAS_BAJAS) {
    refresh_inputs();
    tap_showing = tap_pending;
    tap_pending = false;
  }
  const int byte = tap_showing ? tap_byte : rest_byte;
  if (control == CONTROL_ENTRADAS_ALTAS) {
    if (tap_showing) journal("tap", tap_byte);
    tap_showing = false;
    return status_for(byte >> BITS_POR_GRUPO);
  }
  return status_for(byte);
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
