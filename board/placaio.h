// The board's primitives: outputs and motors through the output image, digital and
// analog inputs, and the pause. Compiled into the library and into the lift program.
#pragma once

#include <cstdint>

#include "board/registros.h"
#include "win32.h"

constexpr int32_t NUM_SALIDAS = 8;
constexpr int32_t NUM_MOTORES = 4;
constexpr int32_t NUM_ENTRADAS = 8;
constexpr int32_t NUM_ENTRADAS_ANALOGICAS = 4;

// Motor codes: first output off and second on, the reverse, and both off.
constexpr char MOTOR_D = 'D';
constexpr char MOTOR_I = 'I';
constexpr char MOTOR_P = 'P';

// Whole volts are count * 5 / 256, so 255 gives 4.
constexpr int32_t VOLTIOS_ESCALA = 5;
constexpr int32_t VOLTIOS_DIVISOR = 256;

// The conversion asks for half a second twice; truncation makes it a pause of 0.
constexpr float PAUSA_DE_CONVERSION = 0.5f;

// The output image: bit n-1 set while output n is on. Never read back from the board.
extern int32_t ESTADO_SALIDAS;

// The exports: declared once, in the header the library's callers use.
#include "library/placaio.h"

// Inner operations, not exported.
void SALIDA_DIGITAL(int32_t valor);
void ACTIVA_SALIDA(int32_t salida);
void DESACTIVA_SALIDA(int32_t salida);
int32_t estado_salida(int32_t imagen, int32_t salida);
char estado_motor(int32_t imagen, int32_t primera, int32_t segunda);
int32_t leer_entrada_analogica_num(int32_t mascara);
int32_t tension_de_entrada_analogica(int32_t mascara);
