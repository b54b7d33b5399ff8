// A board name already taken by something else: the driver refuses it with a clear
// message, once, and reads as a board with every input off.
#include <gtest/gtest.h>

#include <vector>

#include "board/io.h"
#include "shared_board.h"
#include "simulated_board/os_helpers.h"

namespace {

TEST(DriverOnAForeignSegment, RefusesItAndReadsAllInputsOff) {
  const std::string name = "placasim-test-foreign-" + std::to_string(simtest::process_id());
  simtest::set_env(sim::kBoardEnv, name.c_str());
  ASSERT_TRUE(simtest::forge_segment(name, std::vector<unsigned char>(4096, 0)));

  ASSERT_EQ(LoadIODLL(), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(IsDriverInstalled(), 0);
  escribe_puerto(REGISTRO_CONTROL, 3);
  EXPECT_EQ(lee_puerto(REGISTRO_ESTADO) & 0x78, 0x78);
  escribe_puerto(REGISTRO_CONTROL, 7);
  escribe_puerto(REGISTRO_DATOS, 0xFF);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find(sim::segment_path(name)), std::string::npos) << message;
  EXPECT_NE(message.find("refusing"), std::string::npos) << message;
  EXPECT_EQ(message.find("refusing"), message.rfind("refusing")) << "said once: " << message;

  EXPECT_EQ(simtest::segment_size(name), 4096) << "the foreign segment is left as it was";
  simtest::drop_segment(name);
  sim::SharedBoard::remove(name);
}

}  // namespace
