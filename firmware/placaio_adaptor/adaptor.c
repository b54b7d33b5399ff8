/* The adaptor's firmware: an ATmega328P at 16 MHz standing in for a PC's parallel
   port. Requests arrive on the serial port (protocol.h); the registers they write
   are put on the pins of pins.h at the levels a PC's port would give them. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <avr/wdt.h>
#include <stdint.h>

#include "pins.h"
#include "protocol.h"

#define UART_DIVISOR (F_CPU / (8 * ADAPTOR_BAUD))
#if UART_DIVISOR * 8 * ADAPTOR_BAUD != F_CPU
#error "the serial speed is not exact at this clock"
#endif

/* The registers as last written. Kept in memory that startup code leaves alone, so
   that a reset without a power cut (the USB chip's DTR when a program opens the
   port) keeps the outputs as they were, as a PC's port does between programs. The
   complements tell them from the random contents of memory after a power-up. */
struct Latched {
  uint8_t data, control;
  uint8_t not_data, not_control;
};
static struct Latched latched __attribute__((section(".noinit")));

static int latched_valid(void) {
  return (uint8_t)(latched.data ^ latched.not_data) == 0xFF &&
         (uint8_t)(latched.control ^ latched.not_control) == 0xFF && (latched.control & ~ADAPTOR_CONTROL_BITS) == 0;
}

static void latch(uint8_t data, uint8_t control) {
  latched.data = data;
  latched.not_data = (uint8_t)~data;
  latched.control = control;
  latched.not_control = (uint8_t)~control;
}

/* Each port's output and input bits, and the levels two registers put on the pins,
   spelled out from the pin table as constants and straight-line code. */
#define IS_OUTPUT_DATA 1
#define IS_OUTPUT_CONTROL 1
#define IS_OUTPUT_STATUS 0
#define PORT_INDEX_B 0
#define PORT_INDEX_C 1
#define PORT_INDEX_D 2
#define BIT_IF(output, index, reg, port, pbit) \
  ((IS_OUTPUT_##reg == (output) && PORT_INDEX_##port == (index)) ? _BV(pbit) : 0)
#define OUTPUT_ON_B(reg, bit, apin, port, pbit, db25, inv, name) | BIT_IF(1, PORT_INDEX_B, reg, port, pbit)
#define OUTPUT_ON_C(reg, bit, apin, port, pbit, db25, inv, name) | BIT_IF(1, PORT_INDEX_C, reg, port, pbit)
#define OUTPUT_ON_D(reg, bit, apin, port, pbit, db25, inv, name) | BIT_IF(1, PORT_INDEX_D, reg, port, pbit)
#define INPUT_ON_B(reg, bit, apin, port, pbit, db25, inv, name) | BIT_IF(0, PORT_INDEX_B, reg, port, pbit)
#define INPUT_ON_C(reg, bit, apin, port, pbit, db25, inv, name) | BIT_IF(0, PORT_INDEX_C, reg, port, pbit)
#define INPUT_ON_D(reg, bit, apin, port, pbit, db25, inv, name) | BIT_IF(0, PORT_INDEX_D, reg, port, pbit)
enum {
  OUTPUTS_B = 0 ADAPTOR_PINS(OUTPUT_ON_B),
  OUTPUTS_C = 0 ADAPTOR_PINS(OUTPUT_ON_C),
  OUTPUTS_D = 0 ADAPTOR_PINS(OUTPUT_ON_D),
  INPUTS_B = 0 ADAPTOR_PINS(INPUT_ON_B),
  INPUTS_C = 0 ADAPTOR_PINS(INPUT_ON_C),
  INPUTS_D = 0 ADAPTOR_PINS(INPUT_ON_D),
};

#define LEVEL_DATA(bit, port, pbit, inv) \
  if (((data >> (bit)) ^ (inv)) & 1) level_##port |= _BV(pbit);
#define LEVEL_CONTROL(bit, port, pbit, inv) \
  if (((control >> (bit)) ^ (inv)) & 1) level_##port |= _BV(pbit);
#define LEVEL_STATUS(bit, port, pbit, inv)
#define LEVEL(reg, bit, apin, port, pbit, db25, inv, name) LEVEL_##reg(bit, port, pbit, inv)

#define STATUS_DATA(bit, port, pbit, inv)
#define STATUS_CONTROL(bit, port, pbit, inv)
#define STATUS_STATUS(bit, port, pbit, inv) \
  if (((in_##port >> (pbit)) ^ (inv)) & 1) status |= _BV(bit);
#define STATUS(reg, bit, apin, port, pbit, db25, inv, name) STATUS_##reg(bit, port, pbit, inv)

#define ARDUINO_PIN(reg, bit, apin, port, pbit, db25, inv, name) apin,

/* Both ports in one go each, so a byte never shows half old, half new for longer
   than the two instructions between the writes. */
static void show(uint8_t data, uint8_t control) {
  uint8_t level_B = 0, level_C = 0, level_D = 0;
  ADAPTOR_PINS(LEVEL)
  (void)level_C;
  const uint8_t b = (uint8_t)((PORTB & ~OUTPUTS_B) | level_B);
  const uint8_t d = (uint8_t)((PORTD & ~OUTPUTS_D) | level_D);
  PORTD = d;
  PORTB = b;
}

static uint8_t status_register(void) {
  const uint8_t in_B = PINB, in_C = PINC, in_D = PIND;
  uint8_t status = 0;
  (void)in_B;
  (void)in_D;
  ADAPTOR_PINS(STATUS)
  return status;
}

/* Outputs at their levels before they start driving; inputs pulled up, as a PC's
   status lines are. The free pins are pulled up too, so that none floats. */
static void start_pins(void) {
  show(latched.data, latched.control);
  PORTB |= INPUTS_B;
  PORTC |= INPUTS_C | _BV(PC5);
  PORTD |= INPUTS_D;
  DDRB |= OUTPUTS_B;
  DDRC |= OUTPUTS_C;
  DDRD |= OUTPUTS_D;
}

/* Received bytes, from the interrupt to the main loop. */
#define RECEIVED_SIZE 128
static volatile uint8_t received[RECEIVED_SIZE];
static volatile uint8_t received_head, received_tail;

ISR(USART_RX_vect) {
  const uint8_t byte = UDR0;
  const uint8_t next = (uint8_t)((received_head + 1) % RECEIVED_SIZE);
  /* Full: the byte is lost, which the protocol survives (the host's read times out). */
  if (next != received_tail) {
    received[received_head] = byte;
    received_head = next;
  }
}

static void start_uart(void) {
  UBRR0 = UART_DIVISOR - 1;
  UCSR0A = _BV(U2X0);
  UCSR0C = _BV(UCSZ01) | _BV(UCSZ00); /* 8N1 */
  UCSR0B = _BV(RXEN0) | _BV(TXEN0) | _BV(RXCIE0);
}

static void send(uint8_t byte) {
  while (!(UCSR0A & _BV(UDRE0))) {
  }
  UDR0 = byte;
}

/* The next received byte, sleeping until there is one. */
static uint8_t next_byte(void) {
  for (;;) {
    cli();
    if (received_head != received_tail) break;
    sleep_enable();
    sei(); /* the sleep instruction after it runs before any interrupt */
    sleep_cpu();
    sleep_disable();
  }
  const uint8_t byte = received[received_tail];
  received_tail = (uint8_t)((received_tail + 1) % RECEIVED_SIZE);
  sei();
  return byte;
}

static const uint8_t arduino_pins[ADAPTOR_SIGNAL_COUNT] = {ADAPTOR_PINS(ARDUINO_PIN)};

static void identify(void) {
  const char *signature = ADAPTOR_SIGNATURE;
  for (uint8_t i = 0; i < ADAPTOR_SIGNATURE_LENGTH; ++i) send((uint8_t)signature[i]);
  send(ADAPTOR_PROTOCOL_VERSION);
  send(ADAPTOR_SIGNAL_COUNT);
  for (uint8_t i = 0; i < ADAPTOR_SIGNAL_COUNT; ++i) send(arduino_pins[i]);
}

static uint8_t read_register(uint8_t reg) {
  switch (reg) {
    case ADAPTOR_REG_DATA: return latched.data;
    case ADAPTOR_REG_CONTROL: return latched.control;
    default: return status_register();
  }
}

static void write_register(uint8_t reg, uint8_t value) {
  uint8_t data = latched.data, control = latched.control;
  if (reg == ADAPTOR_REG_DATA) data = value;
  else if (reg == ADAPTOR_REG_CONTROL) control = value & ADAPTOR_CONTROL_BITS;
  else return; /* the status register is read only */
  show(data, control);
  latch(data, control);
}

int main(void) {
  /* A watchdog left running by a bootloader would reset us again. */
  const uint8_t cause = MCUSR;
  MCUSR = 0;
  wdt_disable();
  if ((cause & (_BV(PORF) | _BV(BORF))) || !latched_valid()) latch(ADAPTOR_REST_DATA, ADAPTOR_REST_CONTROL);
  start_pins();
  start_uart();
  set_sleep_mode(SLEEP_MODE_IDLE);
  sei();

  uint8_t pending = 0; /* a write's command byte, waiting for its value */
  for (;;) {
    const uint8_t byte = next_byte();
    if (!(byte & ADAPTOR_COMMAND_BIT)) {
      if (pending) write_register(ADAPTOR_WRITE_REGISTER(pending), ADAPTOR_WRITE_VALUE(pending, byte));
      pending = 0; /* a value byte with no write before it is ignored */
      continue;
    }
    pending = 0; /* a command byte abandons an unfinished write */
    if (byte >= ADAPTOR_WRITE && byte <= ADAPTOR_WRITE_LAST) pending = byte;
    else if (byte >= ADAPTOR_READ && byte <= ADAPTOR_READ_LAST) send(read_register(ADAPTOR_READ_REGISTER(byte)));
    else if (byte == ADAPTOR_IDENTIFY) identify();
  }
}
