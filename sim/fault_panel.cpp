#include "fault_panel.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Spinner.H>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fault_steps.h"
#include "faults.h"

namespace placasim {

namespace {

constexpr int kW = 330, kH = 330, kMargin = 10, kRowH = 26, kLabelW = 90;
constexpr double kRefreshSeconds = 0.25;

class FaultWindow : public Fl_Double_Window {
 public:
  FaultWindow(sim::SharedBoard& board) : Fl_Double_Window(kW, kH, "placasim - Faults"), board_(board) {
    int y = kMargin;
    auto row_label = [&](const char* text) {
      auto* b = new Fl_Box(kMargin, y, kLabelW, kRowH, text);
      b->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
      b->labelfont(FL_HELVETICA_BOLD);
      b->labelsize(13);
    };
    auto choice = [&](int n, const char* prefix) {
      auto* c = new Fl_Choice(kMargin + kLabelW, y, 50, kRowH);
      for (int i = 1; i <= n; ++i) c->add((prefix + std::to_string(i)).c_str());
      c->value(0);
      return c;
    };
    auto spinner = [&](int x, double lo, double hi, double step, double value) {
      auto* s = new Fl_Spinner(x, y, 60, kRowH);
      s->type(step < 1 ? FL_FLOAT_INPUT : FL_INT_INPUT);
      s->range(lo, hi);
      s->step(step);
      s->value(value);
      return s;
    };
    const int x2 = kMargin + kLabelW + 56;

    row_label("Input stuck");
    input_ = choice(sim::kInputs, "");
    button(x2, y, 50, "on", [this] { apply({FaultStep::stuck, true, input_->value() + 1, true}); });
    button(x2 + 54, y, 50, "off", [this] { apply({FaultStep::stuck, true, input_->value() + 1, false}); });
    button(x2 + 108, y, 50, "free", [this] { apply({FaultStep::stuck, false, input_->value() + 1}); });
    y += kRowH + 8;

    row_label("Chatter (s)");
    floor_ = choice(sim::kFloors, "F");
    chatter_s_ = spinner(x2, 0.1, sim::kMaxChatterSeconds, 0.1, 0.5);
    button(x2 + 64, y, 46, "set", [this] {
      apply({FaultStep::chatter, true, floor_->value() + 1, false, chatter_s_->value()});
    });
    button(x2 + 114, y, 44, "stop", [this] { apply({FaultStep::chatter, false, floor_->value() + 1}); });
    y += kRowH + 8;

    row_label("Lift motor");
    button(kMargin + kLabelW, y, 50, "stall", [this] { apply({FaultStep::stall}); });
    slip_ = spinner(x2, 0.05, 0.95, 0.05, 0.5);
    button(x2 + 64, y, 46, "slip", [this] { apply({FaultStep::slip, true, 0, false, slip_->value()}); });
    button(x2 + 114, y, 44, "sound", [this] { apply({FaultStep::motor, false}); });
    y += kRowH + 8;

    row_label("Noise (±)");
    analog_ = choice(sim::kAnalogInputs, "A");
    amplitude_ = spinner(x2, 1, sim::kMaxNoise, 1, 10);
    button(x2 + 64, y, 46, "set", [this] {
      apply({FaultStep::noise, true, analog_->value() + 1, false, amplitude_->value()});
    });
    button(x2 + 114, y, 44, "quiet", [this] { apply({FaultStep::noise, false, analog_->value() + 1}); });
    y += kRowH + 8;

    button(kMargin, y, kW - 2 * kMargin, "Clear all faults", [this] { apply({FaultStep::all, false}); });
    y += kRowH + 10;

    active_ = new Fl_Box(kMargin, y, kW - 2 * kMargin, kH - y - kMargin);
    active_->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_CLIP);
    active_->labelsize(12);
    end();
    Fl::add_timeout(kRefreshSeconds, refresh, this);
  }
  ~FaultWindow() override { Fl::remove_timeout(refresh, this); }

 private:
  template <typename F>
  void button(int x, int y, int w, const char* label, F action) {
    auto* b = new Fl_Button(x, y, w, kRowH, label);
    b->labelsize(12);
    b->visible_focus(0);
    actions_.push_back(action);
    b->callback(
        [](Fl_Widget*, void* data) {
          auto* slot = static_cast<std::pair<FaultWindow*, std::size_t>*>(data);
          slot->first->actions_[slot->second]();
        },
        &slots_.emplace_back(this, actions_.size() - 1));
  }

  void apply(const FaultStep& step) {
    const int64_t now = sim::monotonic_ns();
    board_.with([&](sim::BoardState& s) {
      sim::board_advance(s, now);
      apply_fault_step(s, step);
    });
    show_active();
  }

  void show_active() {
    const auto list = board_.with([](sim::BoardState& s) { return sim::active_faults(s); });
    std::string text = "Active faults:";
    for (const auto& f : list) text += "\n  " + f;
    if (list.empty()) text += " none";
    if (text != shown_) {
      shown_ = text;
      active_->copy_label(text.c_str());
    }
  }

  static void refresh(void* data) {
    auto* w = static_cast<FaultWindow*>(data);
    w->show_active();  // a script or another panel may set faults too
    Fl::repeat_timeout(kRefreshSeconds, refresh, data);
  }

  sim::SharedBoard& board_;
  Fl_Choice* input_;
  Fl_Choice* floor_;
  Fl_Choice* analog_;
  Fl_Spinner* chatter_s_;
  Fl_Spinner* slip_;
  Fl_Spinner* amplitude_;
  Fl_Box* active_;
  std::string shown_;
  std::vector<std::function<void()>> actions_;
  std::deque<std::pair<FaultWindow*, std::size_t>> slots_;  // stable addresses for the callbacks
};

}  // namespace

Fl_Double_Window* show_fault_window(sim::SharedBoard& board, int x, int y) {
  auto* w = new FaultWindow(board);
  w->position(x, y);
  w->show();
  return w;
}

}  // namespace placasim
