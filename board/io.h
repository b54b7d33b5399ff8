// Binding to the port driver "io"; with it the board's register protocol.
#pragma once

#include <atomic>
#include <cstdint>

#include "io_abi.h"
#include "registros.h"
#include "win32.h"

constexpr const char* NOMBRE_DRIVER = "io";

// What a read answers while no PortIn is bound: status bits 3..6 set, so every
// input reads off and an analog count reads 255.
constexpr int32_t LECTURA_SIN_DRIVER = BITS_DE_GRUPO;

// Binding state, one set per process. Each variable is named as the entry point it holds.
extern HMODULE hio;
#define IO_ENTRY_POINT_VARIABLE(name, result, parameters) extern name##_t name;
IO_ENTRY_POINTS(IO_ENTRY_POINT_VARIABLE)
#undef IO_ENTRY_POINT_VARIABLE

// How many times UnloadIODLL has been registered as an exit handler (0 or 1).
extern std::atomic<int32_t> registros_de_salida;

// 0 when the driver was loaded and its names resolved, 1 when loading it failed.
int32_t LoadIODLL();
// Releases the driver through hio; runs only as an exit handler.
void UnloadIODLL();

// Every port access of the system goes through these two, which never call a
// missing entry point: without PortOut a write does nothing, without PortIn a read
// answers LECTURA_SIN_DRIVER.
void escribe_puerto(int32_t puerto, int32_t valor);
int32_t lee_puerto(int32_t puerto);
