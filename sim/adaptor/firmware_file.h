// A firmware file for the emulated chip: Intel HEX as a programmer flashes it, or the
// ELF file the compiler makes. Checked before simavr sees it, which aborts the whole
// process on code that does not fit and says little about a wrong file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct avr_t;

namespace placasim {

// The flash image of Intel HEX text, of at most flash_size bytes from address 0.
// False with *error saying which line is wrong.
bool parse_intel_hex(const std::string& text, std::size_t flash_size, std::vector<uint8_t>* image,
                     std::string* error);

// Loads the file at path into the chip's flash. False, with *error naming the file
// and what is wrong, for a file that cannot be read, is not a firmware or is not
// one for the ATmega328P.
bool load_firmware(avr_t* avr, const std::string& path, std::string* error);

}  // namespace placasim
