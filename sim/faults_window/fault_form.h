// The Faults window: what it does here, and a folder for each toolkit that draws it.
//
// What the Faults window does, whichever toolkit draws it (fltk/fault_panel.cpp with
// FLTK, win32/fault_panel.cpp with plain Win32): its labels, choices, numbers and buttons
// where they stand, the fault step each button makes from the values chosen, and the
// list of active faults under them. An instructor sets faults there; the student's
// panel names them only when not in instructor mode.
#pragma once

#include <string>

#include "script/fault_steps.h"
#include "shared_board.h"

namespace placasim::fault_form {

constexpr const char* kTitle = "placasim - Faults";
constexpr int kW = 380, kH = 330, kMargin = 10, kRowH = 26, kLabelW = 90;
// Another program or a script may set faults too: the list is looked at this often.
constexpr double kRefreshSeconds = 0.25;

struct Label {
  int x, y;
  const char* text;  // UTF-8
};

// What the buttons read: a choice among count items (prefix + 1..count, its value the
// number chosen) or a number from lo to hi by step.
enum Field { input, floor, chatter_seconds, slip, analog, amplitude, kFieldCount };
struct FieldLayout {
  int x, y, w;
  int count;  // a choice when > 0
  const char* prefix;
  double lo, hi, step, initial;
};

struct Button {
  int x, y, w;
  const char* label;
};

constexpr int kLabelCount = 4, kButtonCount = 11;
extern const Label kLabels[kLabelCount];
extern const FieldLayout kFields[kFieldCount];
extern const Button kButtons[kButtonCount];
// The box listing the active faults, under the buttons.
struct Box {
  int x, y, w, h;
};
extern const Box kActiveBox;

// A choice's item text ("F2") for item 1..count.
std::string item_text(const FieldLayout& f, int item);
// A field's value as the buttons use it: within its range (a number typed out of it
// is brought in).
double within(const FieldLayout& f, double value);
// The step button b makes with the fields' values (a choice's value is 1..count).
FaultStep button_step(int b, const double (&values)[kFieldCount]);
// Sets or clears it on the board now.
void apply(sim::SharedBoard& board, const FaultStep& step);
// "Active faults: none", or one fault per line after the heading.
std::string active_text(sim::SharedBoard& board);

}  // namespace placasim::fault_form
