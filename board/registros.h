// The board's register protocol on the first parallel port: the register map, the
// control values set before each kind of access, and how a status read carries one
// four-bit group. Shared by the binding's callers and by the port drivers.
#pragma once

#include <cstdint>

constexpr int32_t REGISTRO_DATOS = 888;    // 0x378, written
constexpr int32_t REGISTRO_ESTADO = 889;   // 0x379, read
constexpr int32_t REGISTRO_CONTROL = 890;  // 0x37A, written

constexpr int32_t CONTROL_SALIDAS = 7;
constexpr int32_t CONTROL_ENTRADAS_BAJAS = 3;  // inputs 1..4
constexpr int32_t CONTROL_ENTRADAS_ALTAS = 1;  // inputs 5..8
constexpr int32_t CONTROL_SELECCION_ANALOGICA = 5;
constexpr int32_t CONTROL_CONVERSION = 8;
constexpr int32_t CONTROL_ANALOGICA_BAJA = 2;  // count bits 0..3
constexpr int32_t CONTROL_ANALOGICA_ALTA = 0;  // count bits 4..7

// One four-bit group arrives on status bits 3..6; with all of them set every input
// reads off.
constexpr int32_t BITS_DE_GRUPO = 0x78;
constexpr int32_t DESPLAZAMIENTO_DE_GRUPO = 3;
constexpr int32_t MASCARA_DE_GRUPO = 0xF;
constexpr int32_t BITS_POR_GRUPO = 4;

// A byte of the data register, and the largest value of any byte the board takes.
constexpr int32_t OCTETO_MAXIMO = 0xFF;

// The group a status read carries, as read (the analog count's halves).
constexpr int32_t grupo_de_estado(int32_t lectura) {
  return (lectura & BITS_DE_GRUPO) >> DESPLAZAMIENTO_DE_GRUPO;
}

// The inputs a status read carries: an input is on when its line reads 0.
constexpr int32_t grupo_de_entradas(int32_t lectura) { return ~grupo_de_estado(lectura) & MASCARA_DE_GRUPO; }

// The byte of two groups, the low one first read.
constexpr int32_t octeto_de_grupos(int32_t bajo, int32_t alto) { return bajo | (alto << BITS_POR_GRUPO); }
