// The controller's pass, its dispatch table and its pauses, for the thread and for tests.
#pragma once

#include <array>
#include <cstdint>

#include "ascensor.h"
#include "cola.h"

// Inputs as bits of the input byte.
constexpr int32_t BOTON_PISO[NUMERO_PISOS] = {1, 2, 4};
constexpr int32_t SENSOR_PISO[NUMERO_PISOS] = {8, 16, 32};
constexpr int32_t VALORES_ENTRADA = 256;

// Pauses, in milliseconds.
constexpr DWORD PAUSA_TRAS_GUARDAR = 100;
constexpr DWORD PAUSA_ANTES_DE_SERVIR = 1000;

// The floor the cabin is taken to stand at before its first trip (shown at start).
constexpr int32_t DESTINO_INICIAL = PISO_BAJO;

enum Accion : int32_t { NADA, LLAMADA, LLEGADA };
struct Fila {
  Accion accion;
  int32_t piso;
};

// One row per input byte: a call button alone or with another floor's sensor is a
// call; a floor sensor alone is an arrival; anything else does nothing.
constexpr std::array<Fila, VALORES_ENTRADA> construir_tabla() {
  std::array<Fila, VALORES_ENTRADA> tabla{};
  for (int32_t piso = PISO_BAJO; piso <= PISO_ALTO; ++piso) {
    const int32_t boton = BOTON_PISO[piso - 1];
    tabla[boton] = {LLAMADA, piso};
    for (int32_t otro = PISO_BAJO; otro <= PISO_ALTO; ++otro)
      if (otro != piso) tabla[boton | SENSOR_PISO[otro - 1]] = {LLAMADA, piso};
    tabla[SENSOR_PISO[piso - 1]] = {LLEGADA, piso};
  }
  return tabla;
}
constexpr std::array<Fila, VALORES_ENTRADA> TABLA_DESPACHO = construir_tabla();

// The pause used by the controller: Sleep, unless a test puts something else here.
extern void (WINAPI* pausa)(DWORD milisegundos);

// One pass of the control loop: read the inputs, act on them, serve the queue.
// `destino`, `primero` and `ultimo` are the controller's own state.
void Comprobar_Pasada(int32_t* destino, Cola** primero, Cola** ultimo);
