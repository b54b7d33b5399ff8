#include "adaptor_model.h"

#include "firmware/placaio_adaptor/pins.h"
#include "firmware/placaio_adaptor/protocol.h"

AdaptorModel::AdaptorModel() : version(ADAPTOR_PROTOCOL_VERSION), signature(ADAPTOR_SIGNATURE) {}

void AdaptorModel::take(uint8_t byte, std::vector<uint8_t>& answer) {
  if (!(byte & ADAPTOR_COMMAND_BIT)) {
    if (pending_ < 0) return;  // stray payload
    const uint8_t value = static_cast<uint8_t>(ADAPTOR_WRITE_VALUE(pending_, byte));
    const int reg = ADAPTOR_WRITE_REGISTER(pending_);
    if (reg == ADAPTOR_REG_DATA) data = value;
    if (reg == ADAPTOR_REG_CONTROL) control = value & ADAPTOR_CONTROL_BITS;
    ++writes;
    pending_ = -1;
    return;
  }
  if (pending_ >= 0) ++broken_frames;
  pending_ = -1;
  if (byte >= ADAPTOR_WRITE && byte <= ADAPTOR_WRITE_LAST) {
    pending_ = byte;
  } else if (byte >= ADAPTOR_READ && byte <= ADAPTOR_READ_LAST) {
    ++reads;
    const uint8_t regs[ADAPTOR_REGISTERS] = {data, static_cast<uint8_t>(status & ADAPTOR_STATUS_BITS), control};
    answer.push_back(regs[ADAPTOR_READ_REGISTER(byte)]);
  } else if (byte == ADAPTOR_IDENTIFY) {
    ++identifies;
    answer.insert(answer.end(), signature.begin(), signature.end());
    answer.push_back(static_cast<uint8_t>(version));
    answer.push_back(ADAPTOR_SIGNAL_COUNT);
#define PIN_OF(reg, bit, arduino, port, avr_bit, db25, inverted, name) answer.push_back(arduino);
    ADAPTOR_PINS(PIN_OF)
#undef PIN_OF
  }
}
