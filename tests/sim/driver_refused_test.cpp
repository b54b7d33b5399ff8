// A board name already taken by something else: the driver refuses it with a clear
// message, once, and reads as a board with every input off.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "board/io.h"
#include "shared_board.h"

namespace {

TEST(DriverOnAForeignSegment, RefusesItAndReadsAllInputsOff) {
  const std::string name = "placasim-test-foreign-" + std::to_string(getpid());
  setenv(sim::kBoardEnv, name.c_str(), 1);
  const int fd = shm_open(sim::segment_path(name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  close(fd);

  ASSERT_EQ(LoadIODLL(), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(IsDriverInstalled(), 0);
  escribe_puerto(REGISTRO_CONTROL, 3);
  EXPECT_EQ(lee_puerto(REGISTRO_ESTADO) & 0x78, 0x78);
  escribe_puerto(REGISTRO_CONTROL, 7);
  escribe_puerto(REGISTRO_DATOS, 0xFF);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("/dev/shm/" + name), std::string::npos) << message;
  EXPECT_NE(message.find("refusing"), std::string::npos) << message;
  EXPECT_EQ(message.find("refusing"), message.rfind("refusing")) << "said once: " << message;

  struct stat st{};
  const int again = shm_open(sim::segment_path(name).c_str(), O_RDONLY, 0);
  ASSERT_GE(again, 0);
  fstat(again, &st);
  close(again);
  EXPECT_EQ(st.st_size, 4096) << "the foreign segment is left as it was";
  sim::SharedBoard::remove(name);
}

}  // namespace
