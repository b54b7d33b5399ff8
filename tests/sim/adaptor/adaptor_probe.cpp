// A program run by placasim --adaptor that drives the board through the adaptor's
// port itself: outputs 42 until input 1 is pressed, then 0. Exit 3 when placasim did
// not hand it the serial port and the serial driver.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "board/registros.h"
#include "placaio_adaptor/protocol.h"
#include "serial_client.h"

namespace {

void write_register(adaptor_test::SerialClient& c, int reg, int value) {
  c.send({static_cast<uint8_t>(ADAPTOR_WRITE_COMMAND(reg, value)), static_cast<uint8_t>(ADAPTOR_WRITE_PAYLOAD(value))});
}

}  // namespace

int main() {
  const char* port = std::getenv("PLACAIO_SERIAL");
  const char* path = std::getenv("LD_LIBRARY_PATH");
  const std::string first = path ? std::string(path).substr(0, std::string(path).find(':')) : "";
  if (!port || first.size() < 15 || first.compare(first.size() - 15, 15, "/drivers/serial") != 0) {
    std::fprintf(stderr, "adaptor_probe: PLACAIO_SERIAL=%s LD_LIBRARY_PATH=%s\n", port ? port : "", path ? path : "");
    return 3;
  }
  adaptor_test::SerialClient c(port);
  bool in_step = false;
  for (int attempt = 0; attempt < 40 && !in_step; ++attempt) {
    c.send({ADAPTOR_IDENTIFY});
    in_step = c.receive(ADAPTOR_IDENTITY_LENGTH, 100).size() == ADAPTOR_IDENTITY_LENGTH;
    c.drain();
  }
  if (!in_step) return 4;
  write_register(c, ADAPTOR_REG_CONTROL, CONTROL_SALIDAS);
  write_register(c, ADAPTOR_REG_DATA, 42);
  write_register(c, ADAPTOR_REG_CONTROL, CONTROL_ENTRADAS_BAJAS);
  for (int i = 0; i < 1000; ++i) {
    c.send({ADAPTOR_READ | ADAPTOR_REG_STATUS});
    const std::vector<uint8_t> got = c.receive(1, 500);
    if (got.size() == 1 && (grupo_de_entradas(got[0]) & 1)) {
      write_register(c, ADAPTOR_REG_CONTROL, CONTROL_SALIDAS);
      write_register(c, ADAPTOR_REG_DATA, 0);
      c.send({ADAPTOR_READ | ADAPTOR_REG_DATA});
      return c.receive(1, 500).size() == 1 ? 0 : 5;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 6;
}
