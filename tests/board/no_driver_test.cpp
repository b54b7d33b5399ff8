// The primitives with no port driver to be found: nothing crashes, writes go nowhere,
// and every read sees status bits 3..6 set (all inputs off, analog count 255).
#include <gtest/gtest.h>

#include "board/io.h"
#include "board/placaio.h"

namespace {

TEST(PrimitivesWithoutDriver, OutputsStillKeepTheImage) {
  CONECTA(2);
  M2('I');
  EXPECT_EQ(VS_INT(), 0b0110);
  SALIDA(300);
  EXPECT_EQ(VS_INT(), 0b0110);
  DESCONECTAR();
  EXPECT_EQ(VS_INT(), 0);
  EXPECT_EQ(hio, nullptr);
}

TEST(PrimitivesWithoutDriver, InputsReadOffAndAnalogReadsFull) {
  EXPECT_EQ(VE_INT(), 0);
  EXPECT_EQ(SD(1), 0);
  int32_t inputs[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  SD_INT(inputs);
  for (int32_t v : inputs) EXPECT_EQ(v, 0);
  EsperaOff(3);  // already off: returns
  EXPECT_EQ(leeanalogica(1), 255);
  EXPECT_EQ(SAZ(), 4);
  int32_t volts[4] = {};
  SA_INT(volts);
  for (int32_t v : volts) EXPECT_EQ(v, 4);
}

}  // namespace
