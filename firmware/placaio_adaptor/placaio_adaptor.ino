// The placaio USB adaptor for an Arduino Uno or Nano (ATmega328P, 16 MHz): it stands
// in for a PC's parallel port, so the interface board and the lift model can be
// driven from a PC without one.
//
// The program is plain C on the chip's registers, in adaptor.c beside this file (its
// own main() and serial interrupt, no setup() or loop()); protocol.h and pins.h say
// what it speaks and which pin carries which signal. In the Arduino IDE choose the
// board (Tools > Board: "Arduino Uno", or "Arduino Nano" and its processor), the
// port, then Upload.
