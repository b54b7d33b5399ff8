#include "primitive_cases.h"

#include <cstdint>

#include "board/io.h"
#include "board/placaio.h"

namespace bench {

namespace {

volatile int32_t sink;
int32_t buffer[NUM_SALIDAS];

constexpr int32_t kByte = 0x55;
constexpr int32_t kOutput = 3, kOutputMask = 4;
constexpr int32_t kMotorForward = 'D', kMotorForwardByte = 2;  // motor 1 'D': output 2 alone
constexpr int32_t kChannel = 1;

void out(int32_t port, int32_t value) { PortOut(port, static_cast<uint8_t>(value)); }
int32_t in(int32_t port) { return PortIn(port); }

void digital_read() {
  out(REGISTRO_CONTROL, CONTROL_ENTRADAS_BAJAS);
  sink = in(REGISTRO_ESTADO);
  out(REGISTRO_CONTROL, CONTROL_ENTRADAS_ALTAS);
  sink = in(REGISTRO_ESTADO);
}

void conversion(int32_t mask) {
  for (int32_t group : {CONTROL_ANALOGICA_BAJA, CONTROL_ANALOGICA_ALTA}) {
    out(REGISTRO_CONTROL, CONTROL_SELECCION_ANALOGICA);
    out(REGISTRO_DATOS, mask);
    out(REGISTRO_CONTROL, CONTROL_CONVERSION);
    out(REGISTRO_CONTROL, group);
    sink = in(REGISTRO_ESTADO);
  }
}

void output_write(int32_t value) {
  out(REGISTRO_CONTROL, CONTROL_SALIDAS);
  out(REGISTRO_DATOS, value);
}

void clear_outputs() { SALIDA(0); }

}  // namespace

const std::vector<PrimitiveCase>& primitive_cases() {
  static const std::vector<PrimitiveCase> cases = {
      {"SALIDA", clear_outputs, [] { SALIDA(kByte); }, [] { output_write(kByte); }},
      // From output 3 alone, switching it on again writes the same byte.
      {"CONECTA", [] { SALIDA(kOutputMask); }, [] { CONECTA(kOutput); },
       [] { output_write(kOutputMask); }},
      // From motor 1 'D', both single-output steps write the 'D' byte again.
      {"M1", [] { SALIDA(kMotorForwardByte); }, [] { M1(kMotorForward); },
       [] {
         output_write(kMotorForwardByte);
         output_write(kMotorForwardByte);
       }},
      {"VE_INT", clear_outputs, [] { sink = VE_INT(); }, digital_read},
      {"SD_INT", clear_outputs, [] { SD_INT(buffer); }, digital_read},
      {"leeanalogica", clear_outputs, [] { sink = leeanalogica(kChannel); },
       [] { conversion(kChannel); }},
      // The zero-length pause every conversion asks for twice.
      {"segundos(0.5)", clear_outputs, [] { segundos(PAUSA_DE_CONVERSION); }, nullptr},
  };
  return cases;
}

}  // namespace bench
