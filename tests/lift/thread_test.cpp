// The controller thread: where it starts, how it is asked to stop, and that it ends
// after the pass it is in, leaving nothing behind.
#include <atomic>
#include <chrono>
#include <thread>

#include "lift_fixture.h"

namespace {

std::atomic<int> releases{0};
void CountRelease(void* node) {
  ++releases;
  std::free(node);
}

class ControllerThread : public LiftTest {
 protected:
  // Every test has seen its controller get going (or end) before this runs, so a stop
  // is only asked of one that still runs and none is left pending for the next test.
  void TearDown() override {
    if (thread_ != nullptr) {
      if (esperar_fin_controlador(0) == 0) pedir_parada_controlador();
      EXPECT_EQ(WaitForSingleObject(thread_, 10000), WAIT_OBJECT_0);
      CloseHandle(thread_);
    }
    LiftTest::TearDown();
  }
  bool Ended() { return WaitForSingleObject(thread_, 10000) == WAIT_OBJECT_0; }
  void Start() {
    thread_ = CreateThread(nullptr, 0, Comprobar_Sensor, nullptr, 0, nullptr);
    ASSERT_NE(thread_, nullptr);
  }
  // Waits until the controller has read the inputs `passes` times.
  bool WaitForPasses(int passes) {
    for (int i = 0; i < 10000; ++i) {
      if (recorder_.status_reads() >= 2 * passes) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
  HANDLE thread_ = nullptr;
};

TEST_F(ControllerThread, StopRequestEndsTheLoop) {
  Start();
  ASSERT_TRUE(WaitForPasses(100));
  pedir_parada_controlador();
  EXPECT_EQ(esperar_fin_controlador(10000), 1);
  EXPECT_EQ(WaitForSingleObject(thread_, 10000), WAIT_OBJECT_0);
  const int32_t reads = recorder_.status_reads();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(recorder_.status_reads(), reads) << "no pass after the end";
}

TEST_F(ControllerThread, WaitingWithNoControllerReturnsAtOnce) {
  EXPECT_EQ(esperar_fin_controlador(0), 1);
}

TEST_F(ControllerThread, StopAskedBeforeTheStartIsHonouredOnce) {
  pedir_parada_controlador();
  EXPECT_EQ(esperar_fin_controlador(10000), 1);
  EXPECT_EQ(Comprobar_Sensor(nullptr), 0u);
  EXPECT_EQ(recorder_.status_reads(), 0) << "not a single pass";
  // The request is used up: the next controller runs.
  Start();
  EXPECT_TRUE(WaitForPasses(10));
}

TEST_F(ControllerThread, StartsWithTheCabinAtFloorOne) {
  Inputs({8});  // the floor-1 sensor alone is an arrival at the target
  Start();
  ASSERT_TRUE(WaitForPasses(3));
  pedir_parada_controlador();
  ASSERT_EQ(esperar_fin_controlador(10000), 1);
  const std::vector<int32_t> bytes = MotorBytes();
  ASSERT_FALSE(bytes.empty());
  for (int32_t b : bytes) EXPECT_EQ(b, 0);
  EXPECT_EQ(ShownFloor(), 1);
}

TEST_F(ControllerThread, StopDuringAPauseFinishesThatPassFirst) {
  dato = 1;
  Inputs({12, 0});
  on_pause = [](DWORD milliseconds) {
    if (milliseconds == PAUSA_ANTES_DE_SERVIR) pedir_parada_controlador();
  };
  Start();
  ASSERT_TRUE(Ended());
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2})) << "the start after the pause is part of the pass";
  EXPECT_EQ(recorder_.status_reads(), 2) << "exactly one pass";
}

TEST_F(ControllerThread, WaitTimesOutWhileThePassGoesOn) {
  static std::atomic<bool> release{false};
  release = false;
  dato = 1;
  Inputs({1, 0});
  on_pause = [](DWORD) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  Start();
  ASSERT_TRUE(WaitForPasses(1));
  pedir_parada_controlador();
  EXPECT_EQ(esperar_fin_controlador(50), 0);
  release = true;
  EXPECT_EQ(esperar_fin_controlador(10000), 1);
}

TEST_F(ControllerThread, CallsStillQueuedAtTheEndAreReleased) {
  auto* const saved = liberar_nodo;
  liberar_nodo = CountRelease;
  releases = 0;
  static std::atomic<int> stored{0};
  stored = 0;
  dato = 1;
  lacabinasemueve = 1;  // travelling: calls are stored, none served
  Inputs({1});
  on_pause = [](DWORD) {
    if (++stored == 3) pedir_parada_controlador();
  };
  Start();
  ASSERT_TRUE(Ended());
  liberar_nodo = saved;
  EXPECT_EQ(stored, 3);
  EXPECT_EQ(releases, 3);
  EXPECT_TRUE(MotorBytes().empty());
}

}  // namespace
