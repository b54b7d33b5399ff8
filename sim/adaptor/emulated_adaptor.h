// The USB adaptor emulated: its firmware running in an ATmega328P at 16 MHz
// (libsimavr), its pins wired to a board and its serial port a pseudo-terminal that
// programs open as they would the real adaptor's port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace placasim {

// What the adaptor's pins are wired to, seen as a PC's parallel port registers.
// Called from the emulation's thread.
class AdaptorWiring {
 public:
  // The data (offset 0) or control (offset 2) register the pins now show. Called
  // only when it changes; at power-on the board is taken to hold the rest values.
  virtual void write(int offset, uint8_t value) = 0;
  // The status register the board now puts on the input pins.
  virtual uint8_t status() = 0;
  // The status bits whose lines nothing drives: the chip's pull-up, if its firmware
  // turned it on, holds them high, as a PC's does.
  virtual uint8_t open_lines() { return 0; }

 protected:
  ~AdaptorWiring() = default;
};

class EmulatedAdaptor {
 public:
  // Loads the firmware (.hex or .elf), powers the chip on and starts running it in
  // real time on a thread of its own. Null with *error set when it cannot.
  static std::unique_ptr<EmulatedAdaptor> start(const std::string& firmware, AdaptorWiring& wiring,
                                                std::string* error);
  virtual ~EmulatedAdaptor() = default;

  // The serial port's path (the pseudo-terminal's slave side). Each time a program
  // opens it the chip is reset, as a Uno's DTR does; memory survives the reset.
  virtual const std::string& port() const = 0;
  // The level of an Arduino pin (2..19), for tests; -1 while it is not an output.
  virtual int pin(int arduino_pin) const = 0;
  // How many times the chip was reset since power-on.
  virtual int resets() const = 0;
};

}  // namespace placasim
