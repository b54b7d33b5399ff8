// The board's primitives: outputs and motors through the output image, digital and
// analog inputs, and the pause. Compiled into the library and into the lift program.
#pragma once

#include <cstdint>

#include "win32.h"

// Control values set before each kind of access.
constexpr int32_t CONTROL_SALIDAS = 7;
constexpr int32_t CONTROL_ENTRADAS_BAJAS = 3;  // inputs 1..4
constexpr int32_t CONTROL_ENTRADAS_ALTAS = 1;  // inputs 5..8
constexpr int32_t CONTROL_SELECCION_ANALOGICA = 5;
constexpr int32_t CONTROL_CONVERSION = 8;
constexpr int32_t CONTROL_ANALOGICA_BAJA = 2;  // count bits 0..3
constexpr int32_t CONTROL_ANALOGICA_ALTA = 0;  // count bits 4..7

// One four-bit group arrives on status bits 3..6.
constexpr int32_t BITS_DE_GRUPO = 0x78;
constexpr int32_t DESPLAZAMIENTO_DE_GRUPO = 3;
constexpr int32_t MASCARA_DE_GRUPO = 0xF;
constexpr int32_t BITS_POR_GRUPO = 4;

constexpr int32_t OCTETO_MAXIMO = 255;
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
