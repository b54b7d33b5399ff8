// Shared ground for the controller tests: the recording driver scripted per pass, the
// controller's own state, recorded pauses, and what the graphics window shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "lift/controlador.h"
#include "recorder.h"

// The status byte that makes one four-bit input group read as `group`.
uint8_t StatusFor(int32_t group);
// Status bytes for one control value, one per read; the last one keeps being answered.
void ScriptStatus(int32_t control, const std::vector<uint8_t>& bytes);

struct PauseEvent {
  DWORD milliseconds;
  int32_t port_accesses;  // how many port accesses had happened when it began
};

// Pauses are recorded, not slept; `on_pause`, when set, runs inside each pause.
extern std::vector<PauseEvent> pauses;
extern void (*on_pause)(DWORD);
void WINAPI RecordPause(DWORD milliseconds);

// Which cabin picture the graphics window holds: its floor, 0 for none of them
// (blank or foreign), -1 when there is no graphics window at all.
int32_t ShownFloor();
// True when the graphics window is there with nothing drawn on it.
bool ScreenBlank();
// Shuts the graphics library down, so that the next display must open a window anew.
void CloseGraphics();

std::filesystem::path PicturesDir();

class LiftTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The input bytes seen by the next passes, one per pass; the last one stays.
  void Inputs(std::initializer_list<int32_t> bytes);
  void Pass(int times = 1);
  // Motor bytes written since the test began, in order.
  std::vector<int32_t> MotorBytes() const { return recorder_.writes_to(kDataPort); }
  std::vector<int32_t> QueuedFloors() const;
  // Sets the cabin travelling toward `floor`, as a start would leave it.
  void Travelling(int32_t floor);
  void AtRest(int32_t floor);

  Recorder recorder_;
  int32_t destino_ = DESTINO_INICIAL;
  Cola* primero_ = nullptr;
  Cola* ultimo_ = nullptr;
};
