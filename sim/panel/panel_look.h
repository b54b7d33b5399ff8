// How both panels look: the window's size and layout, the shaft's geometry and the
// colours, whichever toolkit draws them.
#pragma once

#include <algorithm>
#include <cstdint>

#include "board_model.h"

namespace placasim::look {

constexpr int kWindowW = 640, kWindowH = 680;
constexpr int kMargin = 12;
constexpr int kShaftW = 250;
constexpr int kColumnX = kShaftW + 2 * kMargin;
constexpr int kColumnW = kWindowW - kShaftW - 3 * kMargin;
// The status: the rule broken now, wrapped over up to three lines, then the board,
// the program, the active faults in the rest of the column.
constexpr int kWarningH = 50;
constexpr int kStatusH = 130;
// The panel's way back to the Faults window, a button and a key.
constexpr const char* kFaultsButton = "Faults... (F)";
constexpr int kFaultsButtonW = 110;
constexpr int kFaultsKey = 'f';

constexpr const char* kCallsHeading = "Call buttons: inputs 1-3 (hold, or keys 1 2 3)";
constexpr const char* kCallLabels[] = {"Floor 1", "Floor 2", "Floor 3"};
constexpr const char* kInputsHeading = "Inputs (4-6: floor sensors)";
constexpr const char* kOutputsHeading = "Outputs (1: toward floor 1, 2: toward floor 3)";
constexpr const char* kMotorsHeading = "Motors (I: first output, D: second, P: stopped)";
constexpr const char* kSwitchesHeading = "Switches";
constexpr const char* kSwitchLabels[] = {"Input 7 (switch)", "Input 8 (switch)"};
constexpr const char* kAnalogHeading = "Analog inputs (0-255)";
constexpr const char* kAnalogLabels[] = {"A1", "A2", "A3", "A4"};

struct Rgb {
  uint8_t r, g, b;
};
constexpr Rgb kBackdrop{38, 42, 50};
constexpr Rgb kWell{28, 31, 37};
constexpr Rgb kWall{70, 76, 88};
constexpr Rgb kCabin{236, 196, 84};
constexpr Rgb kCabinEdge{150, 112, 30};
constexpr Rgb kLampOff{64, 70, 80};
constexpr Rgb kSensorOn{90, 220, 110};
constexpr Rgb kOutputOn{255, 150, 40};
constexpr Rgb kText{225, 228, 235};
constexpr Rgb kDimText{170, 176, 190};
constexpr Rgb kWarningText{255, 90, 80};

// The shaft drawn in the box (y, h): the cabin's height, and the height of its floor
// line at a position between the bottom and top floors.
inline int cabin_height(int h) { return std::max(40, (h - 80) / 5); }
inline int floor_line(double position, int y, int h) {
  const int top = y + 50, bottom = y + h - 30;
  return bottom - static_cast<int>((position - sim::kBottomFloor) / (sim::kTopFloor - sim::kBottomFloor) *
                                   (bottom - top - cabin_height(h)) + 0.5);
}

}  // namespace placasim::look
