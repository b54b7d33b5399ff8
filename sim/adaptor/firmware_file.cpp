#include "firmware_file.h"

#include <sim_avr.h>
#include <sim_elf.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace placasim {

namespace {

constexpr const char* kChip = "atmega328p";
// A firmware of this chip is a few KB of code; a bigger file is something else.
constexpr std::size_t kMostFileBytes = 16 << 20;
constexpr uint16_t kElfMachineAvr = 83;
constexpr uint32_t kElfAvrArchMask = 0x7F;
constexpr uint32_t kElfAvrArchOfChip = 5;  // avr5: the ATmega328P's instruction set
constexpr std::size_t kElfHeaderBytes = 52;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

uint32_t little_endian(const std::string& bytes, std::size_t at, int count) {
  uint32_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

bool load_elf(avr_t* avr, const std::string& path, const std::string& bytes, std::string* error) {
  if (bytes.size() < kElfHeaderBytes || bytes[4] != 1 || bytes[5] != 1) {
    *error = path + " is not a firmware for an AVR chip (not a 32-bit little-endian ELF file)";
    return false;
  }
  if (little_endian(bytes, 18, 2) != kElfMachineAvr) {
    *error = path + " is not a firmware for an AVR chip (an ELF file for another processor)";
    return false;
  }
  const uint32_t arch = little_endian(bytes, 36, 4) & kElfAvrArchMask;
  if (arch != kElfAvrArchOfChip) {
    *error = path + " is built for another AVR chip (instruction set avr" + std::to_string(arch) +
             "), not for the ATmega328P";
    return false;
  }
  elf_firmware_t firmware{};
  if (elf_read_firmware(path.c_str(), &firmware) != 0) {
    *error = path + ": the ELF file cannot be read as a firmware";
    return false;
  }
  bool ok = false;
  if (firmware.mmcu[0] && std::strcmp(firmware.mmcu, kChip) != 0)
    *error = path + " is built for the " + firmware.mmcu + ", not for the ATmega328P";
  else if (!firmware.flash || firmware.flashsize == 0)
    *error = path + " holds no program";
  else if (firmware.flashbase + firmware.flashsize > avr->flashend + 1u)
    *error = path + " does not fit in the ATmega328P's flash (" + std::to_string(firmware.flashsize) + " bytes)";
  else
    ok = true;
  if (ok) {
    // What the file may say of the clock or of traces is not this board's.
    firmware.frequency = 0;
    firmware.tracecount = 0;
    firmware.tracename[0] = '\0';
    avr_load_firmware(avr, &firmware);
  }
  std::free(firmware.flash);
  std::free(firmware.eeprom);
  std::free(firmware.fuse);
  std::free(firmware.lockbits);
  return ok;
}

}  // namespace

bool parse_intel_hex(const std::string& text, std::size_t flash_size, std::vector<uint8_t>* image,
                     std::string* error) {
  image->clear();
  uint32_t base = 0;
  int line_number = 0;
  std::size_t at = 0;
  bool ended = false;
  while (at < text.size() && !ended) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++line_number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.empty()) continue;
    const std::string where = "line " + std::to_string(line_number) + ": ";
    std::vector<uint8_t> record;
    bool digits = line[0] == ':' && line.size() % 2 == 1;
    for (std::size_t i = 1; digits && i + 1 < line.size(); i += 2) {
      const int hi = hex_digit(line[i]), lo = hex_digit(line[i + 1]);
      digits = hi >= 0 && lo >= 0;
      record.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    if (!digits || record.size() < 5 || record.size() != record[0] + 5u) {
      *error = where + "not an Intel HEX record";
      return false;
    }
    uint8_t sum = 0;
    for (uint8_t b : record) sum = static_cast<uint8_t>(sum + b);
    if (sum != 0) {
      *error = where + "wrong checksum";
      return false;
    }
    const uint32_t address = base + (uint32_t{record[1]} << 8 | record[2]);
    const uint8_t* data = record.data() + 4;
    switch (record[3]) {
      case 0x00:
        if (address + record[0] > flash_size) {
          *error = where + "data beyond the ATmega328P's " + std::to_string(flash_size / 1024) + " KB of flash";
          return false;
        }
        if (image->size() < address + record[0]) image->resize(address + record[0], 0xFF);
        std::copy(data, data + record[0], image->begin() + address);
        break;
      case 0x01: ended = true; break;
      case 0x02: base = (uint32_t{data[0]} << 8 | data[1]) << 4; break;
      case 0x04: base = (uint32_t{data[0]} << 8 | data[1]) << 16; break;
      case 0x03:
      case 0x05: break;  // a start address: the chip starts at its reset vector
      default:
        *error = where + "unknown record type";
        return false;
    }
  }
  if (!ended) {
    *error = "no end record: the file is cut short";
    return false;
  }
  if (image->empty()) {
    *error = "no program in it";
    return false;
  }
  return true;
}

bool load_firmware(avr_t* avr, const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read the firmware " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string bytes;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMostFileBytes) {
      *error = path + " is too big to be a firmware for the ATmega328P";
      return false;
    }
  }
  if (in.bad()) {
    *error = "cannot read the firmware " + path;
    return false;
  }
  if (bytes.compare(0, 4, "\x7f" "ELF") == 0) return load_elf(avr, path, bytes, error);
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first == std::string::npos || bytes[first] != ':') {
    *error = path + " is not a firmware (neither an ELF file nor Intel HEX)";
    return false;
  }
  std::vector<uint8_t> image;
  std::string why;
  if (!parse_intel_hex(bytes, avr->flashend + 1u, &image, &why)) {
    *error = path + ": " + why;
    return false;
  }
  elf_firmware_t firmware{};
  firmware.flash = image.data();
  firmware.flashsize = static_cast<uint32_t>(image.size());
  avr_load_firmware(avr, &firmware);
  return true;
}

}  // namespace placasim
