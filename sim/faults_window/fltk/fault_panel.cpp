#include "faults_window/fltk/fault_panel.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Spinner.H>

#include <string>

#include "faults_window/fault_form.h"

namespace placasim {

namespace {

using namespace fault_form;

// A choice whose list opens below it from the first item, as a drop-down list does on
// Windows: FLTK's own puts the chosen item over the box, so with a late item chosen
// near the top of the screen the first items open above the screen's edge.
class Picker : public Fl_Choice {
 public:
  using Fl_Choice::Fl_Choice;
  int handle(int event) override {
    const bool opens = event == FL_PUSH || (event == FL_KEYBOARD && Fl::event_key() == ' ');
    if (!opens || !menu() || !menu()->text) return Fl_Choice::handle(event);
    if (Fl::visible_focus()) Fl::focus(this);
    if (const Fl_Menu_Item* item = menu()->pulldown(x(), y(), w(), h(), nullptr, this)) picked(item);
    return 1;
  }
};

class FaultWindow : public Fl_Double_Window {
 public:
  explicit FaultWindow(sim::SharedBoard& board) : Fl_Double_Window(kW, kH, kTitle), board_(board) {
    for (const Label& l : kLabels) {
      auto* b = new Fl_Box(l.x, l.y, kLabelW, kRowH, l.text);
      b->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
      b->labelfont(FL_HELVETICA_BOLD);
      b->labelsize(13);
    }
    for (int f = 0; f < kFieldCount; ++f) {
      const FieldLayout& field = kFields[f];
      if (field.count) {
        auto* c = new Picker(field.x, field.y, field.w, kRowH);
        for (int i = 1; i <= field.count; ++i) c->add(item_text(field, i).c_str());
        c->value(static_cast<int>(field.initial) - 1);
        choices_[f] = c;
      } else {
        auto* s = new Fl_Spinner(field.x, field.y, field.w, kRowH);
        s->type(field.step < 1 ? FL_FLOAT_INPUT : FL_INT_INPUT);
        s->range(field.lo, field.hi);
        s->step(field.step);
        s->value(field.initial);
        spinners_[f] = s;
      }
    }
    for (int i = 0; i < kButtonCount; ++i) {
      const Button& button = kButtons[i];
      auto* b = new Fl_Button(button.x, button.y, button.w, kRowH, button.label);
      b->labelsize(12);
      b->visible_focus(0);
      b->callback(on_button, this);
      buttons_[i] = b;
    }
    active_ = new Fl_Box(kActiveBox.x, kActiveBox.y, kActiveBox.w, kActiveBox.h);
    active_->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_CLIP);
    active_->labelsize(12);
    end();
    Fl::add_timeout(kRefreshSeconds, refresh, this);
  }
  ~FaultWindow() override { Fl::remove_timeout(refresh, this); }

 private:
  static void on_button(Fl_Widget* w, void* data) {
    auto* self = static_cast<FaultWindow*>(data);
    double values[kFieldCount];
    for (int f = 0; f < kFieldCount; ++f)
      values[f] = self->choices_[f] ? self->choices_[f]->value() + 1 : self->spinners_[f]->value();
    for (int i = 0; i < kButtonCount; ++i)
      if (self->buttons_[i] == w) apply(self->board_, button_step(i, values));
    self->show_active();
  }

  void show_active() {
    const std::string text = active_text(board_);
    if (text != shown_) {
      shown_ = text;
      active_->copy_label(text.c_str());
    }
  }

  static void refresh(void* data) {
    static_cast<FaultWindow*>(data)->show_active();
    Fl::repeat_timeout(kRefreshSeconds, refresh, data);
  }

  sim::SharedBoard& board_;
  Fl_Choice* choices_[kFieldCount] = {};
  Fl_Spinner* spinners_[kFieldCount] = {};
  Fl_Button* buttons_[kButtonCount] = {};
  Fl_Box* active_;
  std::string shown_;
};

}  // namespace

int fault_window_width() { return kW; }

void close_unless_escape(Fl_Widget* window, void*) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  window->hide();
}

Fl_Double_Window* show_fault_window(sim::SharedBoard& board, int x, int y, bool shown) {
  auto* w = new FaultWindow(board);
  w->callback([](Fl_Widget* window, void*) { window->hide(); });
  w->position(x, y);
  if (shown) w->show();
  return w;
}

}  // namespace placasim
