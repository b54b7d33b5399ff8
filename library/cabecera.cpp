// The board declares its exports through the public header; the constants that
// header offers callers must match the board's own.
#include "board/placaio.h"
#include "placaio.h"

static_assert(PLACAIO_NUM_SALIDAS == NUM_SALIDAS);
static_assert(PLACAIO_NUM_MOTORES == NUM_MOTORES);
static_assert(PLACAIO_NUM_ENTRADAS == NUM_ENTRADAS);
static_assert(PLACAIO_NUM_ANALOGICAS == NUM_ENTRADAS_ANALOGICAS);
static_assert(PLACAIO_MOTOR_D == MOTOR_D && PLACAIO_MOTOR_I == MOTOR_I &&
              PLACAIO_MOTOR_P == MOTOR_P);
