/* The adaptor's serial protocol, spoken by its firmware, the serial port driver and
   the tests. C, so that the firmware, the Arduino IDE and the host all include it.

   Every request starts with a byte whose top bit is set (a command byte) and every
   further byte of a request has it clear, so a lost or stray byte costs at most the
   request it belongs to: the next command byte starts afresh, and bytes with the top
   bit clear outside a request are ignored. Writes are not answered, so the host may
   stream them; a read is answered with one byte; the identify request with
   ADAPTOR_IDENTITY_LENGTH bytes. Answers come in the order of the requests. */
#ifndef PLACAIO_ADAPTOR_PROTOCOL_H
#define PLACAIO_ADAPTOR_PROTOCOL_H

/* Raised whenever a request or an answer changes meaning. */
#define ADAPTOR_PROTOCOL_VERSION 1
/* Exact at 16 MHz with the UART's double speed (UBRR 1). */
#define ADAPTOR_BAUD 1000000UL

/* The registers of a PC's parallel port, as offsets from its base address. */
#define ADAPTOR_REG_DATA 0
#define ADAPTOR_REG_STATUS 1 /* read only, as on a PC */
#define ADAPTOR_REG_CONTROL 2
#define ADAPTOR_REGISTERS 3

#define ADAPTOR_COMMAND_BIT 0x80
#define ADAPTOR_PAYLOAD_MASK 0x7F

/* Write: the command byte ADAPTOR_WRITE | reg << 1 | value >> 7, then value & 0x7F. */
#define ADAPTOR_WRITE 0x80
#define ADAPTOR_WRITE_LAST 0x85
#define ADAPTOR_WRITE_COMMAND(reg, value) (ADAPTOR_WRITE | ((reg) << 1) | ((value) >> 7))
#define ADAPTOR_WRITE_PAYLOAD(value) ((value) & ADAPTOR_PAYLOAD_MASK)
#define ADAPTOR_WRITE_REGISTER(command) (((command) >> 1) & 0x03)
#define ADAPTOR_WRITE_VALUE(command, payload) ((((command) & 0x01) << 7) | (payload))

/* Read: ADAPTOR_READ | reg, answered with the register's byte: data as last written,
   control bits 0..3 as last written, status bits 3..7 from the input lines. */
#define ADAPTOR_READ 0x90
#define ADAPTOR_READ_LAST 0x92
#define ADAPTOR_READ_REGISTER(command) ((command) & 0x03)

/* Identify: answered with the signature, the protocol version, the number of pins
   and, for each signal of ADAPTOR_PINS in its order, the Arduino pin it is on. */
#define ADAPTOR_IDENTIFY 0xA0
#define ADAPTOR_SIGNATURE "PLACA"
#define ADAPTOR_SIGNATURE_LENGTH 5
#define ADAPTOR_SIGNAL_COUNT 17
#define ADAPTOR_IDENTITY_LENGTH (ADAPTOR_SIGNATURE_LENGTH + 2 + ADAPTOR_SIGNAL_COUNT)

#endif
