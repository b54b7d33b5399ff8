// Script steps that work a program's windows: "window TITLE [within SECONDS]" waits
// for one, "click TITLE X Y" clicks in it. TITLE is one word or in double quotes.
#pragma once

#include <string>

namespace placasim {

struct WindowStep {
  std::string title;
  int x = 0, y = 0;     // click: pixels from the top-left of the client area
  double seconds = 0;   // window: how long to wait
};

constexpr double kDefaultWindowSeconds = 20;
enum class WindowVerb { none, window, click };

// Which of the two steps line is, by its first word.
WindowVerb window_step_verb(const std::string& line);
// line is the whole step, starting with verb's word. False with what is wrong (and the
// usage) in *error; *text is the step without its comment.
bool parse_window_step(const std::string& line, WindowVerb verb, WindowStep* step, std::string* text,
                       std::string* error);

}  // namespace placasim
