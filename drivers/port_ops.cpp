#include "port_ops.h"

namespace port_ops {

namespace {

constexpr uint32_t kBitsPerPort = 8;

template <typename Word>
void write_bytes(Bytes& bytes, int64_t port, Word value) {
  for (unsigned i = 0; i < sizeof(Word); ++i) bytes.write(port + i, static_cast<uint8_t>(value >> (8 * i)));
}

template <typename Word>
Word read_bytes(Bytes& bytes, int64_t port) {
  Word value = 0;
  for (unsigned i = 0; i < sizeof(Word); ++i) value |= static_cast<Word>(static_cast<Word>(bytes.read(port + i)) << (8 * i));
  return value;
}

template <typename Change>
void modify_bit(Bytes& bytes, int64_t port, uint32_t bit, Change change) {
  if (bit >= kBitsPerPort) return;
  const uint8_t mask = static_cast<uint8_t>(1u << bit);
  bytes.write(port, change(bytes.read(port), mask));
}

}  // namespace

void write_word(Bytes& bytes, int64_t port, uint16_t value) { write_bytes(bytes, port, value); }
void write_dword(Bytes& bytes, int64_t port, uint32_t value) { write_bytes(bytes, port, value); }
uint16_t read_word(Bytes& bytes, int64_t port) { return read_bytes<uint16_t>(bytes, port); }
uint32_t read_dword(Bytes& bytes, int64_t port) { return read_bytes<uint32_t>(bytes, port); }

void set_bit(Bytes& bytes, int64_t port, uint32_t bit) {
  modify_bit(bytes, port, bit, [](uint8_t v, uint8_t m) { return static_cast<uint8_t>(v | m); });
}

void clear_bit(Bytes& bytes, int64_t port, uint32_t bit) {
  modify_bit(bytes, port, bit, [](uint8_t v, uint8_t m) { return static_cast<uint8_t>(v & ~m); });
}

void toggle_bit(Bytes& bytes, int64_t port, uint32_t bit) {
  modify_bit(bytes, port, bit, [](uint8_t v, uint8_t m) { return static_cast<uint8_t>(v ^ m); });
}

int32_t get_bit(Bytes& bytes, int64_t port, uint32_t bit) {
  if (bit >= kBitsPerPort) return 0;
  return (bytes.read(port) >> bit) & 1;
}

int32_t shift_right(Bytes& bytes, int64_t port, int32_t in) {
  const uint8_t value = bytes.read(port);
  bytes.write(port, static_cast<uint8_t>((value >> 1) | ((in & 1) << 7)));
  return value & 1;
}

int32_t shift_left(Bytes& bytes, int64_t port, int32_t in) {
  const uint8_t value = bytes.read(port);
  bytes.write(port, static_cast<uint8_t>((value << 1) | (in & 1)));
  return value >> 7;
}

}  // namespace port_ops
