#include "panel/fltk/panel.h"

#include "panel/panel_look.h"
#include "panel/panel_model.h"

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

#include "faults_window/fltk/fault_panel.h"

namespace placasim {

namespace {

using namespace look;
constexpr int kMinW = 560, kMinH = 480;

Fl_Color fl(Rgb c) { return fl_rgb_color(c.r, c.g, c.b); }

void lamp(int cx, int cy, int r, Fl_Color on_color, bool on) {
  fl_color(on ? on_color : fl(kLampOff));
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
  int floor_y(double position) const { return floor_line(position, y(), h()); }
  int cabin_h() const { return cabin_height(h()); }

  void draw() override {
    fl_push_clip(x(), y(), w(), h());
    fl_rectf(x(), y(), w(), h(), fl(kBackdrop));
    const int well_x = x() + 70, well_w = w() - 130;
    fl_rectf(well_x, y() + 34, well_w, h() - 56, fl(kWell));
    fl_color(fl(kWall));
    fl_line_style(FL_SOLID, 3);
    fl_line(well_x, y() + 34, well_x, y() + h() - 22);
    fl_line(well_x + well_w, y() + 34, well_x + well_w, y() + h() - 22);
    fl_line_style(0);

    fl_font(FL_HELVETICA_BOLD, 14);
    fl_color(fl(kText));
    fl_draw(cabin_caption(view_).c_str(), x() + 8, y() + 22);
    char text[64];

    for (int floor = 1; floor <= sim::kFloors; ++floor) {
      const int fy = floor_y(floor);
      fl_color(fl(kWall));
      fl_rectf(x() + 8, fy, well_x - x() - 8, 4);
      fl_rectf(well_x + well_w, fy, x() + w() - well_x - well_w - 8, 4);
      fl_color(fl(kText));
      std::snprintf(text, sizeof text, "Floor %d", floor);
      fl_draw(text, x() + 8, fy - 8);
      const bool sensor = view_.inputs & (1u << (sim::kFirstSensorInput + floor - 2));
      lamp(x() + w() - 32, fy - 16, 9, fl(kSensorOn), sensor);
      fl_font(FL_HELVETICA, 11);
      fl_color(fl(kText));
      std::snprintf(text, sizeof text, "in %d", sim::kFirstSensorInput + floor - 1);
      fl_draw(text, x() + w() - 44, fy - 32);
      fl_font(FL_HELVETICA_BOLD, 14);
    }

    const int cy = floor_y(view_.state.position), ch = cabin_h();
    const int cx = well_x + 8, cw = well_w - 16;
    fl_rectf(cx, cy - ch, cw, ch, fl(kCabin));
    fl_color(fl(kCabinEdge));
    fl_rect(cx, cy - ch, cw, ch);
    fl_line(cx + cw / 2, cy - ch + 6, cx + cw / 2, cy - 2);
    fl_rect(cx + 6, cy - ch + 6, cw - 12, ch - 8);
    if (view_.moving) {
      const bool up = sim::lift_drive(view_.state.outputs) == sim::Drive::toward_top;
      const int ax = cx + cw / 2, ay = up ? cy - ch - 8 : cy + 8;
      fl_color(fl(kOutputOn));
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
    fl_rectf(x(), y(), w(), h(), fl(kBackdrop));
    const int step = w() / 8;
    for (int i = 0; i < 8; ++i) {
      const int cx = x() + step * i + step / 2;
      lamp(cx, y() + 14, 9, on_, bits_ & (1u << i));
      fl_color(fl(kText));
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
    fl_rectf(x(), y(), w(), h(), fl(kBackdrop));
    const int step = w() / sim::kMotors;
    for (int m = 1; m <= sim::kMotors; ++m) {
      const int left = x() + step * (m - 1) + 4, cy = y() + h() / 2;
      const char state = sim::motor_state(outputs_, m);
      fl_color(state == 'P' ? fl(kLampOff) : fl(kOutputOn));
      const int ax = left + 16;
      if (state == 'I')
        fl_polygon(ax + 8, cy - 9, ax + 8, cy + 9, ax - 8, cy);
      else if (state == 'D')
        fl_polygon(ax - 8, cy - 9, ax - 8, cy + 9, ax + 8, cy);
      else
        fl_rectf(ax - 7, cy - 7, 14, 14);
      fl_color(fl(kText));
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
  HoldButton(int x, int y, int w, int h, const char* label, Calls& calls, int call)
      : Fl_Button(x, y, w, h, label), calls_(calls), call_(call) {
    visible_focus(0);
  }
  int handle(int event) override {
    switch (event) {
      case FL_PUSH:
        calls_.press(call_);
        value(1);
        return 1;
      case FL_RELEASE:
        calls_.release(call_);
        return 1;
      case FL_DRAG:
        return 1;
      default:
        return Fl_Button::handle(event);
    }
  }

 private:
  Calls& calls_;
  int call_;
};

class PanelWindow : public Fl_Double_Window {
 public:
  PanelWindow(int w, int h, const char* title, Calls& calls) : Fl_Double_Window(w, h, title), calls_(calls) {}
  // Seen before any widget: the call keys work whichever widget has the focus.
  bool call_key(int event) {
    if (event != FL_KEYDOWN && event != FL_KEYUP) return false;
    const int key = Fl::event_key();
    return calls_.key(key >= FL_KP && key <= FL_KP_Last ? key - FL_KP : key, event == FL_KEYDOWN);
  }
  int handle(int event) override {
    if (event == FL_UNFOCUS) calls_.release_keys();
    return Fl_Double_Window::handle(event);
  }

 private:
  Calls& calls_;
};

PanelWindow* key_window = nullptr;
struct Panel;
Panel* key_panel = nullptr;
void open_faults(Panel& p);

int dispatch(int event, Fl_Window* window) {
  if (key_window && window == key_window) {
    if (key_window->call_key(event)) return 1;
    if (event == FL_KEYDOWN && Fl::event_key() == kFaultsKey && key_panel) {
      open_faults(*key_panel);
      return 1;
    }
  }
  return Fl::handle_(event, window);
}

struct Panel {
  sim::SharedBoard* board;
  Calls* call_model;
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
  Fl_Box* warning;
  Fl_Box* status;
  std::string status_text;
  bool (*stopping)();
  int exit_code = -1;
  const PanelOptions* options;
  CommandState command_state;
  RuleWatch rules;
  Fl_Double_Window* faults;
};

// The status is also a property of the window (UTF-8), where tools that read the
// screen, and the tests, find it: on Windows it is a text control anyone can read.
void publish_status(Fl_Window* window, const std::string& text) {
  static const Atom status = XInternAtom(fl_display, "_PLACASIM_STATUS", False);
  static const Atom utf8 = XInternAtom(fl_display, "UTF8_STRING", False);
  XChangeProperty(fl_display, fl_xid(window), status, utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

void frame(void* data) {
  Panel& p = *static_cast<Panel*>(data);
  if (panel_done(p.stopping, p.command, p.options->close_with_command, &p.command_state, &p.exit_code)) {
    p.window->hide();
    return;
  }
  // Key releases do not always reach the window: ask the keyboard itself.
  p.call_model->tick([](int key) { return Fl::get_key(key) || Fl::get_key(FL_KP + key); });
  const View v = view_of(*p.board);
  p.shaft->show_view(v);
  p.inputs->set(v.inputs);
  p.outputs->set(v.state.outputs);
  p.motors->set(v.state.outputs);
  for (int i = 0; i < sim::kFloors; ++i) {
    const bool held = call_held(v, i);
    if (p.calls[i]->value() != held) p.calls[i]->value(held);
  }
  for (int i = 0; i < 2; ++i) {
    const bool on = switch_on(v, i);
    if (p.switches[i]->value() != on) p.switches[i]->value(on);
  }
  // Another program may set the analog inputs too; leave a slider alone while dragged.
  for (int i = 0; i < sim::kAnalogInputs; ++i)
    if (Fl::pushed() != p.sliders[i] && p.sliders[i]->value() != v.state.analog[i]) p.sliders[i]->value(v.state.analog[i]);
  p.rules.follow(v);
  const StatusText status = status_of(p.board->name(), v, p.command_state, p.rules, !p.options->instructor);
  const std::string text = status.text();
  if (p.status_text != text) {
    p.status_text = text;
    p.warning->copy_label(status.warning.c_str());
    p.status->copy_label(status.body.c_str());
    publish_status(p.window, text);
  }
  Fl::repeat_timeout(kFrameSeconds, frame, data);
}

void open_faults(Panel& p) {
  p.faults->show();  // raises it when shown already
}

void on_switch(Fl_Widget* w, void* data) {
  auto* p = static_cast<Panel*>(data);
  set_switch(*p->board, w == p->switches[0] ? 0 : 1, static_cast<Fl_Button*>(w)->value());
}

void on_slider(Fl_Widget* w, void* data) {
  auto* p = static_cast<Panel*>(data);
  for (int i = 0; i < sim::kAnalogInputs; ++i) {
    if (w != p->sliders[i]) continue;
    set_analog(*p->board, i + 1, static_cast<uint8_t>(p->sliders[i]->value()));
  }
}

void heading(int x, int y, int w, const char* text) {
  auto* b = new Fl_Box(x, y, w, 20, text);
  b->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
  b->labelfont(FL_HELVETICA_BOLD);
  b->labelsize(13);
  b->labelcolor(fl(kText));
}

}  // namespace

int run_panel(Display* display, sim::SharedBoard& board, Child* command, const PanelOptions& options,
              bool (*stopping)()) {
  fl_open_display(display);
  Fl::scheme("gtk+");
  Fl::visual(FL_DOUBLE | FL_INDEX);
  Fl::background(46, 50, 60);
  Fl::foreground(225, 228, 235);
  Fl::background2(30, 33, 40);

  Calls calls(board);
  Panel p{};
  p.board = &board;
  p.call_model = &calls;
  p.command = command;
  p.stopping = stopping;
  p.options = &options;
  if (command) p.command_state.text = options.command_text;
  p.rules = RuleWatch(options.limits, command != nullptr);
  const std::string title = panel_title(board.name());
  auto* window = new PanelWindow(kWindowW, kWindowH, title.c_str(), calls);
  p.window = window;
  window->color(fl(kBackdrop));
  p.shaft = new Shaft(kMargin, kMargin, kShaftW, kWindowH - 2 * kMargin);

  const int cx = kColumnX;
  auto* column = new Fl_Group(cx, kMargin, kColumnW, kWindowH - 2 * kMargin);
  int y = kMargin;
  heading(cx, y, kColumnW, kCallsHeading);
  y += 24;
  const int bw = (kColumnW - 2 * 8) / 3;
  for (int i = 0; i < sim::kFloors; ++i) {
    p.calls[i] = new HoldButton(cx + i * (bw + 8), y, bw, 46, kCallLabels[i], calls, i);
    p.calls[i]->labelsize(16);
    p.calls[i]->labelfont(FL_HELVETICA_BOLD);
    p.calls[i]->color(fl_rgb_color(70, 90, 130));
    p.calls[i]->down_color(fl_rgb_color(90, 200, 110));
    p.calls[i]->labelcolor(FL_WHITE);
  }
  y += 46 + 34;
  p.inputs = new LedRow(cx, y, kColumnW, 42, kInputsHeading, fl(kSensorOn));
  y += 42 + 30;
  p.outputs = new LedRow(cx, y, kColumnW, 42, kOutputsHeading, fl(kOutputOn));
  y += 42 + 30;
  p.motors = new MotorRow(cx, y, kColumnW, 36, kMotorsHeading);
  y += 36 + 14;
  heading(cx, y, kColumnW, kSwitchesHeading);
  auto* faults_button = new Fl_Button(cx + kColumnW - kFaultsButtonW, y, kFaultsButtonW, 22, kFaultsButton);
  faults_button->labelsize(12);
  faults_button->visible_focus(0);
  faults_button->callback([](Fl_Widget*, void* data) { open_faults(*static_cast<Panel*>(data)); }, &p);
  y += 24;
  for (int i = 0; i < 2; ++i) {
    p.switches[i] = new Fl_Button(cx + i * (kColumnW / 2), y, kColumnW / 2 - 8, 32, kSwitchLabels[i]);
    p.switches[i]->type(FL_TOGGLE_BUTTON);
    p.switches[i]->color(fl_rgb_color(70, 76, 88));
    p.switches[i]->selection_color(fl_rgb_color(60, 170, 85));
    p.switches[i]->labelcolor(FL_WHITE);
    p.switches[i]->labelsize(14);
    p.switches[i]->callback(on_switch, &p);
    p.switches[i]->visible_focus(0);
  }
  y += 32 + 14;
  heading(cx, y, kColumnW, kAnalogHeading);
  y += 24;
  for (int i = 0; i < sim::kAnalogInputs; ++i) {
    auto* s = new Fl_Hor_Value_Slider(cx + 30, y, kColumnW - 30, 24, kAnalogLabels[i]);
    s->align(FL_ALIGN_LEFT);
    s->labelsize(14);
    s->labelfont(FL_HELVETICA_BOLD);
    s->labelcolor(fl(kText));
    s->bounds(0, 255);
    s->step(1);
    s->textsize(13);
    s->textcolor(fl(kText));
    s->color(fl_rgb_color(30, 33, 40));
    s->selection_color(fl(kOutputOn));
    s->callback(on_slider, &p);
    s->when(FL_WHEN_CHANGED);
    s->visible_focus(0);
    p.sliders[i] = s;
    y += 30;
  }
  y += 6;
  // The warning wraps in a box of its own, so that it is read in full.
  p.warning = new Fl_Box(cx, y, kColumnW, kWarningH);
  p.warning->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
  p.warning->labelsize(13);
  p.warning->labelfont(FL_HELVETICA_BOLD);
  p.warning->labelcolor(fl(kWarningText));
  y += kWarningH;
  // Takes the column's share of a taller window, so the other widgets keep their size.
  p.status = new Fl_Box(cx, y, kColumnW, kWindowH - kMargin - y);
  p.status->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
  p.status->labelsize(12);
  p.status->labelcolor(fl(kDimText));
  column->resizable(p.status);
  column->end();

  window->end();
  window->resizable(p.shaft);
  window->size_range(kMinW, kMinH);
  window->callback(close_unless_escape);
  int sx, sy, sw, sh;
  Fl::screen_work_area(sx, sy, sw, sh);
  // Beside the program's windows, which open near the top-left corner.
  window->position(std::max(sx, sx + sw - kWindowW - 40), sy + 40);
  window->show();
  Fl_Double_Window* faults = show_fault_window(board, std::max(sx, window->x() - fault_window_width() - 10), window->y(),
                                                !options.instructor);
  p.faults = faults;
  key_panel = &p;
  key_window = window;
  Fl::event_dispatch(dispatch);
  Fl::add_timeout(kFrameSeconds, frame, &p);
  // Not Fl::run(): the faults window alone does not keep the panel open.
  while (window->shown() && Fl::wait() >= 0) {
  }
  Fl::remove_timeout(frame, &p);
  Fl::event_dispatch(nullptr);
  key_window = nullptr;
  key_panel = nullptr;
  delete faults;
  delete window;
  p.rules.report();
  XFlush(display);  // the window leaves the screen now, not when placasim ends
  return p.exit_code;
}

void serve_display(int ms) { Fl::wait(ms / 1000.0); }

}  // namespace placasim
