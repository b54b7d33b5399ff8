/* Where each signal of the DB25 connector is on an Arduino Uno or Nano (ATmega328P).
   One row per signal: X(register, bit, Arduino pin, AVR port letter, AVR bit,
   DB25 pin, inverted, name). "inverted": a PC's port puts the opposite of the
   register bit on that pin (control bits 0, 1 and 3; status bit 7), and the adaptor
   does the same, so the board sees the levels a PC would give it. Grounds: DB25
   pins 18 to 25 to GND. Arduino pins 14 to 19 are A0 to A5; A5 is left free. */
#ifndef PLACAIO_ADAPTOR_PINS_H
#define PLACAIO_ADAPTOR_PINS_H

#define ADAPTOR_PINS(X)                        \
  X(DATA, 0, 2, D, 2, 2, 0, "D0")              \
  X(DATA, 1, 3, D, 3, 3, 0, "D1")              \
  X(DATA, 2, 4, D, 4, 4, 0, "D2")              \
  X(DATA, 3, 5, D, 5, 5, 0, "D3")              \
  X(DATA, 4, 6, D, 6, 6, 0, "D4")              \
  X(DATA, 5, 7, D, 7, 7, 0, "D5")              \
  X(DATA, 6, 8, B, 0, 8, 0, "D6")              \
  X(DATA, 7, 9, B, 1, 9, 0, "D7")              \
  X(CONTROL, 0, 10, B, 2, 1, 1, "STROBE")      \
  X(CONTROL, 1, 11, B, 3, 14, 1, "AUTOFD")     \
  X(CONTROL, 2, 12, B, 4, 16, 0, "INIT")       \
  X(CONTROL, 3, 13, B, 5, 17, 1, "SELECTIN")   \
  X(STATUS, 3, 14, C, 0, 15, 0, "ERROR")       \
  X(STATUS, 4, 15, C, 1, 13, 0, "SELECT")      \
  X(STATUS, 5, 16, C, 2, 12, 0, "PAPEROUT")    \
  X(STATUS, 6, 17, C, 3, 10, 0, "ACK")         \
  X(STATUS, 7, 18, C, 4, 11, 1, "BUSY")

/* The register bits the pins carry; other status bits read as 0, other control bits
   are not kept. */
#define ADAPTOR_CONTROL_BITS 0x0F
#define ADAPTOR_STATUS_BITS 0xF8
/* Every output at power-up: the registers a PC's port holds as 0 (motors stopped). */
#define ADAPTOR_REST_DATA 0x00
#define ADAPTOR_REST_CONTROL 0x00

#endif
