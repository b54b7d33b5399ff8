// The port operations every driver derives from its byte access: words and double
// words over consecutive ports, low byte first, and read-modify-write of one bit.
#pragma once

#include <cstdint>

namespace port_ops {

// A driver's byte access, held for one whole operation so that other threads see a
// word or a read-modify-write as one step. Addresses are 64-bit, so the ports after
// the top of the 32-bit range exist for the arithmetic and reach no register.
class Bytes {
 public:
  virtual uint8_t read(int64_t port) = 0;
  virtual void write(int64_t port, uint8_t value) = 0;

 protected:
  ~Bytes() = default;
};

// The bytes of a driver that holds its lock around a whole operation: reads and
// writes go to the owner's read_locked and write_locked.
template <typename Owner>
class LockedBytes final : public Bytes {
 public:
  explicit LockedBytes(Owner& owner) : owner_(owner) {}
  uint8_t read(int64_t port) override { return owner_.read_locked(port); }
  void write(int64_t port, uint8_t value) override { owner_.write_locked(port, value); }

 private:
  Owner& owner_;
};

void write_word(Bytes& bytes, int64_t port, uint16_t value);
void write_dword(Bytes& bytes, int64_t port, uint32_t value);
uint16_t read_word(Bytes& bytes, int64_t port);
uint32_t read_dword(Bytes& bytes, int64_t port);
// Bits 0..7; any other bit number leaves the port alone and reads as 0.
void set_bit(Bytes& bytes, int64_t port, uint32_t bit);
void clear_bit(Bytes& bytes, int64_t port, uint32_t bit);
void toggle_bit(Bytes& bytes, int64_t port, uint32_t bit);
int32_t get_bit(Bytes& bytes, int64_t port, uint32_t bit);
// One place toward bit 0 (right) or bit 7 (left), bringing in bit 0 of `in` at the
// other end; the result is the bit shifted out.
int32_t shift_right(Bytes& bytes, int64_t port, int32_t in);
int32_t shift_left(Bytes& bytes, int64_t port, int32_t in);

}  // namespace port_ops
