// A port driver that logs every access and answers status reads from a script chosen
// by the control value last written.
#include "recording_driver.h"

#include <deque>
#include <mutex>
#include <vector>

#include "board/registros.h"
#include "io_driver.h"

namespace {

constexpr int32_t kData = REGISTRO_DATOS, kStatus = REGISTRO_ESTADO, kControl = REGISTRO_CONTROL;
constexpr uint8_t kAllInputsOff = BITS_DE_GRUPO;

struct Access {
  int32_t kind, port, value;
};

struct Board {
  std::mutex lock;
  std::vector<Access> log;
  std::deque<uint8_t> scripts[256];
  uint8_t fallback = kAllInputsOff;
  uint8_t control = 0, data = 0;
  int32_t status_reads = 0;
};

Board& board() {
  static Board* instance = new Board;  // outlives every caller's exit handler
  return *instance;
}

void record(int32_t kind, int32_t port, int32_t value) { board().log.push_back({kind, port, value}); }

uint8_t read_byte(int32_t port) {
  Board& b = board();
  if (port == kData) return b.data;
  if (port == kControl) return b.control;
  if (port != kStatus) return 0xFF;
  ++b.status_reads;
  std::deque<uint8_t>& script = b.scripts[b.control];
  if (script.empty()) return b.fallback;
  const uint8_t answer = script.front();
  if (script.size() > 1) script.pop_front();
  return answer;
}

void write_byte(int32_t port, uint8_t value) {
  Board& b = board();
  if (port == kData) b.data = value;
  if (port == kControl) b.control = value;
}

}  // namespace

void WINAPI PortOut(int32_t port, uint8_t value) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kByteOut, port, value);
  write_byte(port, value);
}

int8_t WINAPI PortIn(int32_t port) {
  std::lock_guard<std::mutex> guard(board().lock);
  const uint8_t value = read_byte(port);
  record(kByteIn, port, value);
  return static_cast<int8_t>(value);
}

void WINAPI PortWordOut(int32_t port, uint16_t value) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kWordOut, port, value);
}

void WINAPI PortDWordOut(int32_t port, uint32_t value) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kDWordOut, port, static_cast<int32_t>(value));
}

uint16_t WINAPI PortWordIn(int32_t port) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kWordIn, port, 0);
  return 0;
}

uint32_t WINAPI PortDWordIn(int32_t port) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kDWordIn, port, 0);
  return 0;
}

void WINAPI SetPortBit(int32_t port, uint8_t bit) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kBitOp, port, bit);
}

void WINAPI ClrPortBit(int32_t port, uint8_t bit) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kBitOp, port, bit);
}

void WINAPI NotPortBit(int32_t port, uint8_t bit) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kBitOp, port, bit);
}

int32_t WINAPI GetPortBit(int32_t port, uint8_t bit) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kBitOp, port, bit);
  return 0;
}

int32_t WINAPI RightPortShift(int32_t port, int32_t bit) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kShift, port, bit);
  return 0;
}

int32_t WINAPI LeftPortShift(int32_t port, int32_t bit) {
  std::lock_guard<std::mutex> guard(board().lock);
  record(kShift, port, bit);
  return 0;
}

int32_t WINAPI IsDriverInstalled(void) { return 1; }

void rec_reset(void) {
  Board& b = board();
  std::lock_guard<std::mutex> guard(b.lock);
  b.log.clear();
  for (auto& script : b.scripts) script.clear();
  b.fallback = kAllInputsOff;
  b.control = b.data = 0;
  b.status_reads = 0;
}

int32_t rec_count(void) {
  std::lock_guard<std::mutex> guard(board().lock);
  return static_cast<int32_t>(board().log.size());
}

int32_t rec_entry(int32_t i, int32_t* kind, int32_t* port, int32_t* value) {
  Board& b = board();
  std::lock_guard<std::mutex> guard(b.lock);
  if (i < 0 || static_cast<size_t>(i) >= b.log.size()) return 0;
  *kind = b.log[i].kind;
  *port = b.log[i].port;
  *value = b.log[i].value;
  return 1;
}

void rec_script_status(int32_t control, const uint8_t* bytes, int32_t count) {
  Board& b = board();
  std::lock_guard<std::mutex> guard(b.lock);
  std::deque<uint8_t>& script = b.scripts[control & 0xFF];
  script.assign(bytes, bytes + (count > 0 ? count : 0));
}

void rec_default_status(uint8_t status) {
  std::lock_guard<std::mutex> guard(board().lock);
  board().fallback = status;
}

int32_t rec_status_reads(void) {
  std::lock_guard<std::mutex> guard(board().lock);
  return board().status_reads;
}
