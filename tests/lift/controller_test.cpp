// The controller's passes: calls and arrivals in both modes, the stored calls and
// their pauses, stops from the windows, and the input bytes that do nothing.
#include <set>

#include "lift_fixture.h"

namespace {

// Calls and arrivals by input byte; every other byte is meant to do nothing.
const std::set<int32_t> kActiveBytes{1, 17, 33, 2, 10, 34, 4, 12, 20, 8, 16, 32};

using WithoutMemory = LiftTest;

TEST_F(WithoutMemory, CallForFloorThreeFromFloorOneStartsUpAtOnce) {
  AtRest(1);
  Inputs({12});
  Pass();
  EXPECT_EQ(recorder_.log(), (std::vector<PortAccess>{
                                 Out(kControlPort, 3), In(kStatusPort, StatusFor(12)),
                                 Out(kControlPort, 1), In(kStatusPort, StatusFor(0)),
                                 Out(kControlPort, 7), Out(kDataPort, 2)}));
  EXPECT_EQ(lacabinasemueve, 1);
  EXPECT_EQ(motor, 2);
  EXPECT_EQ(destino_, 3);
  EXPECT_TRUE(pauses.empty());
  EXPECT_EQ(ShownFloor(), -1);
}

TEST_F(WithoutMemory, CallsWhileTravellingAreIgnored) {
  AtRest(1);
  Inputs({12, 1, 2, 4, 17, 34, 20, 0});
  Pass(8);
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2}));
  EXPECT_EQ(destino_, 3);
  EXPECT_EQ(lacabinasemueve, 1);
  EXPECT_TRUE(QueuedFloors().empty());
}

TEST_F(WithoutMemory, PassingFloorTwoNeitherStopsNorShows) {
  Travelling(3);
  Inputs({16, 16});
  Pass(2);
  EXPECT_TRUE(MotorBytes().empty());
  EXPECT_EQ(lacabinasemueve, 1);
  EXPECT_EQ(ShownFloor(), -1);
}

TEST_F(WithoutMemory, ArrivalShowsThePictureAndStops) {
  AtRest(1);
  Inputs({12, 0, 16, 32});
  Pass(4);
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2, 0}));
  EXPECT_EQ(lacabinasemueve, 0);
  EXPECT_EQ(ShownFloor(), 3);
  // Without memory the queue is never served, whatever the arrival left.
  EXPECT_TRUE(pauses.empty());
}

TEST_F(WithoutMemory, RestingAtTheTargetRepeatsDisplayAndStopEveryPass) {
  Travelling(3);
  Inputs({32});
  for (int i = 0; i < 3; ++i) {
    Pass();
    EXPECT_EQ(ShownFloor(), 3) << "pass " << i;
    CloseGraphics();
  }
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(lacabinasemueve, 0);
}

TEST_F(WithoutMemory, SensorOfAnotherFloorThanTheTargetIsNoArrival) {
  Travelling(1);
  Inputs({32, 16});
  Pass(2);
  EXPECT_TRUE(MotorBytes().empty());
  EXPECT_EQ(lacabinasemueve, 1);
  EXPECT_EQ(ShownFloor(), -1);
}

TEST_F(WithoutMemory, CallForFloorOneStartsDown) {
  AtRest(3);
  Inputs({33});
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{1}));
  EXPECT_EQ(motor, 1);
  EXPECT_EQ(destino_, 1);
}

TEST_F(WithoutMemory, FloorTwoFromBelowGoesUpAndFromAboveGoesDown) {
  AtRest(1);
  Inputs({10});
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2}));
  EXPECT_EQ(destino_, 2);

  recorder_.reset();
  AtRest(3);
  Inputs({34});
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{1}));
  EXPECT_EQ(motor, 1);
  EXPECT_EQ(destino_, 2);
}

TEST_F(WithoutMemory, CallForTheFloorWhereTheCabinStandsDoesNothing) {
  for (int32_t floor : {1, 2, 3}) {
    AtRest(floor);
    const int32_t byte = (1 << (floor - 1)) | (8 << (floor - 1));  // 9, 18, 36
    Inputs({byte});
    Pass();
    EXPECT_TRUE(MotorBytes().empty()) << byte;
    EXPECT_EQ(lacabinasemueve, 0) << byte;
  }
}

// A button held, or input 7 or 8 on, as the cabin reaches its floor: no stop until
// the sensor is seen alone.
TEST_F(WithoutMemory, ArrivalNeedsTheSensorAlone) {
  Travelling(3);
  Inputs({36, 33, 96, 160, 32});
  Pass(4);
  EXPECT_TRUE(MotorBytes().empty());
  EXPECT_EQ(lacabinasemueve, 1);
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0}));
  EXPECT_EQ(lacabinasemueve, 0);
}

TEST_F(WithoutMemory, StartsAtFloorOneAsShownAtStart) {
  // With nothing sent yet, floor 2 is reachable and floor 1 is where the cabin is.
  Inputs({2});
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2}));
}

class EveryOtherByte : public LiftTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(EveryOtherByte, DoesNothingInEitherMode) {
  for (int32_t mode : {0, 1}) {
    for (int32_t byte = 0; byte < 256; ++byte) {
      if (kActiveBytes.count(byte)) continue;
      recorder_.reset();
      dato = mode;
      motor = 2;
      destino_ = GetParam();
      lacabinasemueve = 0;
      Inputs({byte});
      Pass();
      ASSERT_EQ(recorder_.log().size(), 4u) << "byte " << byte << " mode " << mode;
      ASSERT_TRUE(pauses.empty()) << "byte " << byte << " mode " << mode;
      ASSERT_TRUE(QueuedFloors().empty()) << "byte " << byte << " mode " << mode;
      ASSERT_EQ(destino_, GetParam());
      ASSERT_EQ(motor, 2);
      ASSERT_EQ(lacabinasemueve, 0);
      ASSERT_EQ(ShownFloor(), -1) << "byte " << byte << " mode " << mode;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Destinations, EveryOtherByte, ::testing::Values(1, 2, 3));

class WithMemory : public LiftTest {
 protected:
  void SetUp() override {
    LiftTest::SetUp();
    dato = 1;
  }
};

TEST_F(WithMemory, HeldButtonStoresOncePerPassAlsoWhileTravelling) {
  Travelling(3);
  Inputs({1, 1, 1});
  Pass(3);
  EXPECT_EQ(QueuedFloors(), (std::vector<int32_t>{1, 1, 1}));
  ASSERT_EQ(pauses.size(), 3u);
  for (const PauseEvent& p : pauses) EXPECT_EQ(p.milliseconds, 100u);
  EXPECT_TRUE(MotorBytes().empty());
}

TEST_F(WithMemory, FirstCallIsServedInThePassThatStoresIt) {
  AtRest(1);
  Inputs({12});
  Pass();
  ASSERT_EQ(pauses.size(), 2u);
  EXPECT_EQ(pauses[0].milliseconds, 100u);
  EXPECT_EQ(pauses[1].milliseconds, 1000u);
  EXPECT_EQ(recorder_.log().size(), 6u);
  EXPECT_EQ(pauses[1].port_accesses, 4) << "the motor must start after the pause";
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2}));
  EXPECT_TRUE(QueuedFloors().empty());
  EXPECT_EQ(destino_, 3);
  EXPECT_EQ(lacabinasemueve, 1);
  EXPECT_EQ(motor, 0) << "a start from the queue leaves the motor word alone";
}

TEST_F(WithMemory, StoredCallsAreServedInOrder) {
  Travelling(3);
  // Store 1, 2 and 3 on the way up, then arrive at each target in turn.
  Inputs({1, 2, 4, 32, 0, 8, 0, 16, 0, 32});
  Pass(3);
  EXPECT_EQ(QueuedFloors(), (std::vector<int32_t>{1, 2, 3}));
  Pass(7);
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0, 1, 0, 2, 0, 2, 0}));
  EXPECT_TRUE(QueuedFloors().empty());
  EXPECT_EQ(destino_, 3);
  EXPECT_EQ(lacabinasemueve, 0);
  EXPECT_EQ(ShownFloor(), 3);
}

TEST_F(WithMemory, SurplusCallForFloorTwoAtFloorTwoIsDroppedAfterThePause) {
  AtRest(2);
  Insertar(&primero_, &ultimo_, 2);
  Inputs({0});
  Pass();
  ASSERT_EQ(pauses.size(), 1u);
  EXPECT_EQ(pauses[0].milliseconds, 1000u);
  EXPECT_TRUE(MotorBytes().empty());
  EXPECT_TRUE(QueuedFloors().empty());
  EXPECT_EQ(lacabinasemueve, 0);
  EXPECT_EQ(destino_, 2);
}

TEST_F(WithMemory, SurplusCallForTheOwnFloorStartsAndArrivesAgain) {
  AtRest(3);
  Insertar(&primero_, &ultimo_, 3);
  Inputs({32});
  Pass();  // arrival at rest, then the stored 3: pause and start toward floor 3
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(lacabinasemueve, 1);
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0, 2, 0}));
  EXPECT_EQ(lacabinasemueve, 0);
}

TEST_F(WithMemory, StoredFloorTwoGoesTheRightWay) {
  AtRest(3);
  Insertar(&primero_, &ultimo_, 2);
  Inputs({0});
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{1}));
  EXPECT_EQ(destino_, 2);

  recorder_.reset();
  AtRest(1);
  Insertar(&primero_, &ultimo_, 2);
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2}));
}

TEST_F(WithMemory, NothingIsServedWhileTheCabinTravels) {
  Travelling(1);
  Insertar(&primero_, &ultimo_, 3);
  Inputs({0});
  Pass(3);
  EXPECT_TRUE(pauses.empty());
  EXPECT_EQ(QueuedFloors(), (std::vector<int32_t>{3}));
}

TEST_F(WithMemory, CallsSurviveASwitchToWithoutMemoryAndBack) {
  Travelling(3);
  Inputs({1, 4, 0});
  Pass(2);
  dato = 0;
  Inputs({32, 0});
  Pass(3);  // arrives and rests; the queue is neither served nor emptied
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0}));
  EXPECT_EQ(QueuedFloors(), (std::vector<int32_t>{1, 3}));
  dato = 1;
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(QueuedFloors(), (std::vector<int32_t>{3}));
  EXPECT_EQ(destino_, 1);
}

std::vector<std::string> notices;
int WINAPI RecordNotice(HWND, LPCSTR text, LPCSTR, UINT) {
  notices.emplace_back(text);
  return IDOK;
}
void* NoMemory(size_t) { return nullptr; }

TEST_F(WithMemory, CallThatCannotBeStoredIsLostAfterTheNoticeAndThePause) {
  auto* const saved_reserve = reservar_nodo;
  auto* const saved_notice = avisar;
  reservar_nodo = NoMemory;
  avisar = RecordNotice;
  notices.clear();
  AtRest(1);
  Inputs({4});
  Pass();
  reservar_nodo = saved_reserve;
  avisar = saved_notice;
  EXPECT_EQ(notices, (std::vector<std::string>{"No hay espacio suficiente en la cola"}));
  ASSERT_EQ(pauses.size(), 1u);
  EXPECT_EQ(pauses[0].milliseconds, 100u);
  EXPECT_TRUE(MotorBytes().empty());
  EXPECT_EQ(lacabinasemueve, 0);
}

// What the stop buttons of the windows leave behind.
void StopFromWindows() {
  motor = 0;
  lacabinasemueve = 0;
  encender(motor);
}

using StopFromPanel = LiftTest;

TEST_F(StopFromPanel, MidTripTowardFloorTwoOnlyOtherFloorsStartTheMotor) {
  AtRest(1);
  Inputs({10});
  Pass();
  StopFromWindows();
  Inputs({2, 0, 1});
  Pass(2);
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2, 0})) << "floor 2 is already the target";
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2, 0, 1}));
  EXPECT_EQ(destino_, 1);

  StopFromWindows();
  Inputs({4});
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{2, 0, 1, 0, 2}));
  EXPECT_EQ(destino_, 3);
}

TEST_F(StopFromPanel, WithMemoryTheNextStoredCallIsServedAtTheNextPass) {
  dato = 1;
  Travelling(3);
  Inputs({1, 0});
  Pass(2);
  EXPECT_TRUE(MotorBytes().empty());
  StopFromWindows();
  Pass();
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(destino_, 1);
  EXPECT_EQ(lacabinasemueve, 1);
}

}  // namespace
