#include "panel.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Hor_Value_Slider.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cstdio>
#include <string>

namespace placasim {

namespace {

constexpr double kFrameSeconds = 1.0 / 60;
constexpr int kWindowW = 640, kWindowH = 600;
constexpr int kMinW = 560, kMinH = 480;
constexpr int kMargin = 12;
constexpr int kShaftW = 250;
constexpr int kColumnW = kWindowW - kShaftW - 3 * kMargin;
constexpr int kCallKeys[] = {'1', '2', '3'};

const Fl_Color kBackdrop = fl_rgb_color(38, 42, 50);
const Fl_Color kWall = fl_rgb_color(70, 76, 88);
const Fl_Color kCabin = fl_rgb_color(236, 196, 84);
const Fl_Color kCabinEdge = fl_rgb_color(150, 112, 30);
const Fl_Color kLampOff = fl_rgb_color(64, 70, 80);
const Fl_Color kSensorOn = fl_rgb_color(90, 220, 110);
const Fl_Color kOutputOn = fl_rgb_color(255, 150, 40);
const Fl_Color kText = fl_rgb_color(225, 228, 235);

// Snapshot of the board for one frame.
struct View {
  sim::BoardState state;
  uint8_t inputs;
  bool moving;
};

View view_of(sim::SharedBoard& board) {
  const int64_t now = sim::monotonic_ns();
  return board.with([&](sim::BoardState& s) {
    sim::board_advance(s, now);
    return View{s, sim::board_inputs(s), sim::lift_moving(s)};
  });
}

void hold(sim::SharedBoard& board, int input, bool on) {
  const int64_t now = sim::monotonic_ns();
  board.with([&](sim::BoardState& s) {
    sim::board_advance(s, now);
    sim::board_hold_input(s, input, on);
  });
}

void lamp(int cx, int cy, int r, Fl_Color on_color, bool on) {
  fl_color(on ? on_color : kLampOff);
  fl_pie(cx - r, cy - r, 2 * r, 2 * r, 0, 360);
  fl_color(on ? fl_darker(on_color) : fl_rgb_color(30, 33, 40));
  fl_arc(cx - r, cy - r, 2 * r, 2 * r, 0, 360);
}

// The shaft: three floors, their sensor lamps, the cabin at its position.
class Shaft : public Fl_Widget {
 public:
  Shaft(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
  void show_view(const View& v) {
    if (v.state.position != view_.state.position || v.inputs != view_.inputs || v.moving != view_.moving) redraw();
    view_ = v;
  }

 private:
  int floor_y(double position) const {
    const int top = y() + 50, bottom = y() + h() - 30;
    return bottom - static_cast<int>((position - sim::kBottomFloor) / (sim::kTopFloor - sim::kBottomFloor) *
                                     (bottom - top - cabin_h()) + 0.5);
  }
  int cabin_h() const { return std::max(40, (h() - 80) / 5); }

  void draw() override {
    fl_push_clip(x(), y(), w(), h());
    fl_rectf(x(), y(), w(), h(), kBackdrop);
    const int well_x = x() + 70, well_w = w() - 130;
    fl_rectf(well_x, y() + 34, well_w, h() - 56, fl_rgb_color(28, 31, 37));
    fl_color(kWall);
    fl_line_style(FL_SOLID, 3);
    fl_line(well_x, y() + 34, well_x, y() + h() - 22);
    fl_line(well_x + well_w, y() + 34, well_x + well_w, y() + h() - 22);
    fl_line_style(0);

    fl_font(FL_HELVETICA_BOLD, 14);
    fl_color(kText);
    char text[64];
    std::snprintf(text, sizeof text, "cabin %.2f  %s", view_.state.position,
                  view_.moving ? (sim::lift_drive(view_.state.outputs) == sim::Drive::toward_top ? "up" : "down")
                               : "still");
    fl_draw(text, x() + 8, y() + 22);

    for (int floor = 1; floor <= sim::kFloors; ++floor) {
      const int fy = floor_y(floor);
      fl_color(kWall);
      fl_rectf(x() + 8, fy, well_x - x() - 8, 4);
      fl_rectf(well_x + well_w, fy, x() + w() - well_x - well_w - 8, 4);
      fl_color(kText);
      std::snprintf(text, sizeof text, "Floor %d", floor);
      fl_draw(text, x() + 8, fy - 8);
      const bool sensor = view_.inputs & (1u << (sim::kFirstSensorInput + floor - 2));
      lamp(x() + w() - 32, fy - 16, 9, kSensorOn, sensor);
      fl_font(FL_HELVETICA, 11);
      fl_color(kText);
      std::snprintf(text, sizeof text, "in %d", sim::kFirstSensorInput + floor - 1);
      fl_draw(text, x() + w() - 44, fy - 32);
      fl_font(FL_HELVETICA_BOLD, 14);
    }

    const int cy = floor_y(view_.state.position), ch = cabin_h();
    const int cx = well_x + 8, cw = well_w - 16;
    fl_rectf(cx, cy - ch, cw, ch, kCabin);
    fl_color(kCabinEdge);
    fl_rect(cx, cy - ch, cw, ch);
    fl_line(cx + cw / 2, cy - ch + 6, cx + cw / 2, cy - 2);
    fl_rect(cx + 6, cy - ch + 6, cw - 12, ch - 8);
    if (view_.moving) {
      const bool up = sim::lift_drive(view_.state.outputs) == sim::Drive::toward_top;
      const int ax = cx + cw / 2, ay = up ? cy - ch - 8 : cy + 8;
      fl_color(kOutputOn);
      if (up)
        fl_polygon(ax - 9, ay, ax + 9, ay, ax, ay - 10);
      else
        fl_polygon(ax - 9, ay, ax + 9, ay, ax, ay + 10);
    }
    fl_pop_clip();
  }

  View view_{};
};

// A row of labelled lamps, one per bit of a byte.
class LedRow : public Fl_Widget {
 public:
  LedRow(int x, int y, int w, int h, const char* label, Fl_Color on) : Fl_Widget(x, y, w, h, label), on_(on) {
    align(FL_ALIGN_TOP_LEFT);
    labelsize(13);
    labelfont(FL_HELVETICA_BOLD);
  }
  void set(uint8_t bits) {
    if (bits != bits_) redraw();
    bits_ = bits;
  }

 private:
  void draw() override {
    fl_rectf(x(), y(), w(), h(), kBackdrop);
    const int step = w() / 8;
    for (int i = 0; i < 8; ++i) {
      const int cx = x() + step * i + step / 2;
      lamp(cx, y() + 14, 9, on_, bits_ & (1u << i));
      fl_color(kText);
      fl_font(FL_HELVETICA, 12);
      char n[4];
      std::snprintf(n, sizeof n, "%d", i + 1);
      fl_draw(n, cx - 4, y() + h() - 5);
    }
  }
  Fl_Color on_;
  uint8_t bits_ = 0;
};

// The four motors: each I (first output), D (second output) or P (stopped).
class MotorRow : public Fl_Widget {
 public:
  MotorRow(int x, int y, int w, int h, const char* label) : Fl_Widget(x, y, w, h, label) {
    align(FL_ALIGN_TOP_LEFT);
    labelsize(13);
    labelfont(FL_HELVETICA_BOLD);
  }
  void set(uint8_t outputs) {
    if (outputs != outputs_) redraw();
    outputs_ = outputs;
  }

 private:
  void draw() override {
    fl_rectf(x(), y(), w(), h(), kBackdrop);
    const int step = w() / sim::kMotors;
    for (int m = 1; m <= sim::kMotors; ++m) {
      const int left = x() + step * (m - 1) + 4, cy = y() + h() / 2;
      const char state = sim::motor_state(outputs_, m);
      fl_color(state == 'P' ? kLampOff : kOutputOn);
      const int ax = left + 16;
      if (state == 'I')
        fl_polygon(ax + 8, cy - 9, ax + 8, cy + 9, ax - 8, cy);
      else if (state == 'D')
        fl_polygon(ax - 8, cy - 9, ax - 8, cy + 9, ax + 8, cy);
      else
        fl_rectf(ax - 7, cy - 7, 14, 14);
      fl_color(kText);
      fl_font(FL_HELVETICA_BOLD, 13);
      char text[16];
      std::snprintf(text, sizeof text, "M%d %c", m, state);
      fl_draw(text, left + 30, cy + 5);
    }
  }
  uint8_t outputs_ = 0;
};

// Active while held down with the mouse, and for at least kShortestCallSeconds after
// a click; the board also holds it from the keys.
class HoldButton : public Fl_Button {
 public:
  HoldButton(int x, int y, int w, int h, const char* label, sim::SharedBoard& board, int input)
      : Fl_Button(x, y, w, h, label), board_(board), input_(input) {
    visible_focus(0);
  }
  ~HoldButton() override {
    if (Fl::has_timeout(let_go, this)) {
      Fl::remove_timeout(let_go, this);
      hold(board_, input_, false);
    }
  }
  int handle(int event) override {
    switch (event) {
      case FL_PUSH:
        Fl::remove_timeout(let_go, this);
        pressed_at_ = sim::monotonic_ns();
        hold(board_, input_, true);
        value(1);
        return 1;
      case FL_RELEASE: {
        const double held = static_cast<double>(sim::monotonic_ns() - pressed_at_) / sim::kNanosPerSecond;
        if (held >= kShortestCallSeconds)
          let_go(this);
        else
          Fl::add_timeout(kShortestCallSeconds - held, let_go, this);
        return 1;
      }
      case FL_DRAG:
        return 1;
      default:
        return Fl_Button::handle(event);
    }
  }

 private:
  static void let_go(void* data) {
    auto* b = static_cast<HoldButton*>(data);
    hold(b->board_, b->input_, false);
    b->value(0);
  }
  sim::SharedBoard& board_;
  int input_;
  int64_t pressed_at_ = 0;
};

class PanelWindow : public Fl_Double_Window {
 public:
  PanelWindow(int w, int h, const char* title, sim::SharedBoard& board)
      : Fl_Double_Window(w, h, title), board_(board) {}
  // Seen before any widget: the call keys work whichever widget has the focus.
  bool call_key(int event) {
    if (event != FL_KEYDOWN && event != FL_KEYUP) return false;
    const int key = Fl::event_key();
    for (int i = 0; i < sim::kFloors; ++i) {
      if (key == kCallKeys[i] || key == FL_KP + kCallKeys[i]) {
        const bool down = event == FL_KEYDOWN;
        if (down != keys_[i]) hold(board_, sim::kFirstCallInput + i, down);
        keys_[i] = down;
        return true;
      }
    }
    return false;
  }
  int handle(int event) override {
    if (event == FL_UNFOCUS) release_keys();
    return Fl_Double_Window::handle(event);
  }
  // Key releases do not always reach the window: ask the keyboard itself.
  void check_keys() {
    for (int i = 0; i < sim::kFloors; ++i) {
      if (keys_[i] && !Fl::get_key(kCallKeys[i]) && !Fl::get_key(FL_KP + kCallKeys[i])) {
        hold(board_, sim::kFirstCallInput + i, false);
        keys_[i] = false;
      }
    }
  }
  void release_keys() {
    for (int i = 0; i < sim::kFloors; ++i) {
      if (keys_[i]) hold(board_, sim::kFirstCallInput + i, false);
      keys_[i] = false;
    }
  }

 private:
  sim::SharedBoard& board_;
  bool keys_[sim::kFloors] = {};
};

PanelWindow* key_window = nullptr;

int dispatch(int event, Fl_Window* window) {
  if (key_window && window == key_window && key_window->call_key(event)) return 1;
  return Fl::handle_(event, window);
}

struct Panel {
  sim::SharedBoard* board;
  Child* command;
  std::string command_text;
  PanelWindow* window;
  Shaft* shaft;
  HoldButton* calls[sim::kFloors];
  LedRow* inputs;
  LedRow* outputs;
  MotorRow* motors;
  Fl_Button* switches[2];
  Fl_Hor_Value_Slider* sliders[sim::kAnalogInputs];
  Fl_Box* status;
  std::string status_text;
  bool (*stopping)();
  int exit_code = -1;
};

void frame(void* data) {
  Panel& p = *static_cast<Panel*>(data);
  if (p.stopping()) {
    p.window->hide();
    return;
  }
  if (p.command) {
    if (const auto code = p.command->poll()) {
      p.exit_code = *code;
      p.window->hide();
      return;
    }
  }
  p.window->check_keys();
  const View v = view_of(*p.board);
  p.shaft->show_view(v);
  p.inputs->set(v.inputs);
  p.outputs->set(v.state.outputs);
  p.motors->set(v.state.outputs);
  for (int i = 0; i < sim::kFloors; ++i) {
    const bool held = v.state.held_inputs & (1u << i);
    if (p.calls[i]->value() != held) p.calls[i]->value(held);
  }
  for (int i = 0; i < 2; ++i) {
    const bool on = v.state.held_inputs & (1u << (sim::kSwitchInputs[i] - 1));
    if (p.switches[i]->value() != on) p.switches[i]->value(on);
  }
  // Another program may set the analog inputs too; leave a slider alone while dragged.
  for (int i = 0; i < sim::kAnalogInputs; ++i)
    if (Fl::pushed() != p.sliders[i] && p.sliders[i]->value() != v.state.analog[i]) p.sliders[i]->value(v.state.analog[i]);
  char text[512];
  std::snprintf(text, sizeof text, "Board \"%s\"\nOutputs %d, inputs %d\n%s", p.board->name().c_str(),
                v.state.outputs, v.inputs,
                p.command ? ("Running: " + p.command_text).c_str() : "No program started by this panel");
  if (p.status_text != text) {
    p.status_text = text;
    p.status->copy_label(text);
  }
  Fl::repeat_timeout(kFrameSeconds, frame, data);
}

void on_switch(Fl_Widget* w, void* data) {
  auto* p = static_cast<Panel*>(data);
  const int input = w == p->switches[0] ? sim::kSwitchInputs[0] : sim::kSwitchInputs[1];
  hold(*p->board, input, static_cast<Fl_Button*>(w)->value());
}

void on_slider(Fl_Widget* w, void* data) {
  auto* p = static_cast<Panel*>(data);
  for (int i = 0; i < sim::kAnalogInputs; ++i) {
    if (w != p->sliders[i]) continue;
    const auto value = static_cast<uint8_t>(p->sliders[i]->value());
    const int64_t now = sim::monotonic_ns();
    p->board->with([&](sim::BoardState& s) {
      sim::board_advance(s, now);
      sim::board_set_analog(s, i + 1, value);
    });
  }
}

void on_close(Fl_Widget* w, void*) {
  // Escape closes FLTK windows by default; only the window manager's close should.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  w->hide();
}

void heading(int x, int y, int w, const char* text) {
  auto* b = new Fl_Box(x, y, w, 20, text);
  b->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
  b->labelfont(FL_HELVETICA_BOLD);
  b->labelsize(13);
  b->labelcolor(kText);
}

}  // namespace

int run_panel(Display* display, sim::SharedBoard& board, Child* command, const std::string& command_text,
              bool (*stopping)()) {
  fl_open_display(display);
  Fl::scheme("gtk+");
  Fl::visual(FL_DOUBLE | FL_INDEX);
  Fl::background(46, 50, 60);
  Fl::foreground(225, 228, 235);
  Fl::background2(30, 33, 40);

  Panel p{};
  p.board = &board;
  p.command = command;
  p.command_text = command_text;
  p.stopping = stopping;
  const std::string title = "placasim - board " + board.name();
  auto* window = new PanelWindow(kWindowW, kWindowH, title.c_str(), board);
  p.window = window;
  window->color(kBackdrop);
  p.shaft = new Shaft(kMargin, kMargin, kShaftW, kWindowH - 2 * kMargin);

  const int cx = kShaftW + 2 * kMargin;
  auto* column = new Fl_Group(cx, kMargin, kColumnW, kWindowH - 2 * kMargin);
  int y = kMargin;
  heading(cx, y, kColumnW, "Call buttons: inputs 1-3 (hold, or keys 1 2 3)");
  y += 24;
  static const char* call_labels[] = {"Floor 1", "Floor 2", "Floor 3"};
  const int bw = (kColumnW - 2 * 8) / 3;
  for (int i = 0; i < sim::kFloors; ++i) {
    p.calls[i] = new HoldButton(cx + i * (bw + 8), y, bw, 46, call_labels[i], board, sim::kFirstCallInput + i);
    p.calls[i]->labelsize(16);
    p.calls[i]->labelfont(FL_HELVETICA_BOLD);
    p.calls[i]->color(fl_rgb_color(70, 90, 130));
    p.calls[i]->down_color(fl_rgb_color(90, 200, 110));
    p.calls[i]->labelcolor(FL_WHITE);
  }
  y += 46 + 34;
  p.inputs = new LedRow(cx, y, kColumnW, 42, "Inputs (4-6: floor sensors)", kSensorOn);
  y += 42 + 30;
  p.outputs = new LedRow(cx, y, kColumnW, 42, "Outputs (1: toward floor 1, 2: toward floor 3)", kOutputOn);
  y += 42 + 30;
  p.motors = new MotorRow(cx, y, kColumnW, 36, "Motors (I: first output, D: second, P: stopped)");
  y += 36 + 14;
  heading(cx, y, kColumnW, "Switches");
  y += 24;
  for (int i = 0; i < 2; ++i) {
    static const char* labels[] = {"Input 7 (switch)", "Input 8 (switch)"};
    p.switches[i] = new Fl_Button(cx + i * (kColumnW / 2), y, kColumnW / 2 - 8, 32, labels[i]);
    p.switches[i]->type(FL_TOGGLE_BUTTON);
    p.switches[i]->color(fl_rgb_color(70, 76, 88));
    p.switches[i]->selection_color(fl_rgb_color(60, 170, 85));
    p.switches[i]->labelcolor(FL_WHITE);
    p.switches[i]->labelsize(14);
    p.switches[i]->callback(on_switch, &p);
    p.switches[i]->visible_focus(0);
  }
  y += 32 + 14;
  heading(cx, y, kColumnW, "Analog inputs (0-255)");
  y += 24;
  for (int i = 0; i < sim::kAnalogInputs; ++i) {
    static const char* labels[] = {"A1", "A2", "A3", "A4"};
    auto* s = new Fl_Hor_Value_Slider(cx + 30, y, kColumnW - 30, 24, labels[i]);
    s->align(FL_ALIGN_LEFT);
    s->labelsize(14);
    s->labelfont(FL_HELVETICA_BOLD);
    s->labelcolor(kText);
    s->bounds(0, 255);
    s->step(1);
    s->textsize(13);
    s->textcolor(kText);
    s->color(fl_rgb_color(30, 33, 40));
    s->selection_color(kOutputOn);
    s->callback(on_slider, &p);
    s->when(FL_WHEN_CHANGED);
    s->visible_focus(0);
    p.sliders[i] = s;
    y += 30;
  }
  y += 6;
  p.status = new Fl_Box(cx, y, kColumnW, 54);
  p.status->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_CLIP);
  p.status->labelsize(12);
  p.status->labelcolor(fl_rgb_color(170, 176, 190));
  // Soaks up the column's share of a taller window, so its widgets keep their size.
  auto* filler = new Fl_Box(cx, y + 54, kColumnW, kWindowH - kMargin - (y + 54));
  column->resizable(filler);
  column->end();

  window->end();
  window->resizable(p.shaft);
  window->size_range(kMinW, kMinH);
  window->callback(on_close);
  int sx, sy, sw, sh;
  Fl::screen_work_area(sx, sy, sw, sh);
  // Beside the program's windows, which open near the top-left corner.
  window->position(std::max(sx, sx + sw - kWindowW - 40), sy + 40);
  window->show();
  key_window = window;
  Fl::event_dispatch(dispatch);
  Fl::add_timeout(kFrameSeconds, frame, &p);
  Fl::run();
  Fl::remove_timeout(frame, &p);
  Fl::event_dispatch(nullptr);
  key_window = nullptr;
  window->release_keys();
  delete window;
  XFlush(display);  // the window leaves the screen now, not when placasim ends
  return p.exit_code;
}

void serve_display(int ms) { Fl::wait(ms / 1000.0); }

}  // namespace placasim
