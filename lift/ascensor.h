// What the lift program's windows share with the controller: the lift words, the
// motor write, the controller thread and its stop, and the cabin display.
#pragma once

#include <atomic>
#include <cstdint>

#include "win32.h"

// Motor bytes, written whole to the data register (outputs 3..8 always off).
constexpr int32_t MOTOR_PARADO = 0;
constexpr int32_t MOTOR_HACIA_PISO_1 = 1;  // output 1 on
constexpr int32_t MOTOR_HACIA_PISO_3 = 2;  // output 2 on

// Modes held in `dato`.
constexpr int32_t MODO_SIN_MEMORIA = 0;
constexpr int32_t MODO_CON_MEMORIA = 1;

constexpr int32_t PISO_BAJO = 1;
constexpr int32_t PISO_MEDIO = 2;
constexpr int32_t PISO_ALTO = 3;
constexpr int32_t NUMERO_PISOS = 3;

// The graphics window and where each picture lands on it.
constexpr int ANCHO_GRAFICOS = 200;
constexpr int ALTO_GRAFICOS = 308;
constexpr int PROFUNDIDAD_GRAFICOS = 0;  // the display's own depth
constexpr int ALTO_DESTINO_IMAGEN = 200; // only the rectangle's corner counts

constexpr const char* IMAGENES_CABINA[NUMERO_PISOS] = {"ascensor1.bmp", "ascensor2.bmp",
                                                      "ascensor3.bmp"};
constexpr const char* TEXTO_ERROR_GRAFICOS = "Error al entrar a modo grafico: %s\n";

// Shared by the GUI and controller threads; atomic so that every test reads memory
// afresh and no store is torn or kept in a register across a pass.
extern std::atomic<int32_t> motor;            // motor byte of the last start without memory, 0 after a stop
extern std::atomic<int32_t> dato;             // MODO_SIN_MEMORIA or MODO_CON_MEMORIA
extern std::atomic<int32_t> lacabinasemueve;  // 1 while the cabin travels

// Writes the low eight bits of n to the data register as the motor byte.
void encender(int32_t n);
// Reads the eight inputs: returns the input byte, stores inputs 1..4 through `bajo`
// and inputs 5..8 through `alto` (either may be null).
int32_t leedigital(int32_t* bajo, int32_t* alto);

// The controller thread: polls the board until asked to stop, then returns 0.
DWORD WINAPI Comprobar_Sensor(LPVOID);
// Asks the running controller (or the one about to start) to end after its current pass.
void pedir_parada_controlador();
// Waits up to `milisegundos` (INFINITE allowed) for every controller to have returned:
// 1 when none runs any more, 0 when the time ran out.
int32_t esperar_fin_controlador(DWORD milisegundos);

// Shows the picture of the cabin at floor `piso` in the graphics window, setting the
// video mode first when there is no graphics window of the right size. A missing or
// corrupt picture draws nothing. 0 when the window was there, 1 when the video mode
// failed (the message is on standard output and the graphics library has been shut down).
int32_t mostrar_cabina(int32_t piso);
