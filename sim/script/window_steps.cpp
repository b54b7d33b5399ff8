#include "script/window_steps.h"

#include <cstring>
#include <sstream>
#include <vector>

#include "script/script.h"

namespace placasim {

namespace {

constexpr int kMaxCoordinate = 32767;  // what a window system's coordinates hold
constexpr const char* kBlanks = " \t";

const char* word(WindowVerb verb) { return verb == WindowVerb::click ? "click" : "window"; }

}  // namespace

WindowVerb window_step_verb(const std::string& line) {
  for (const WindowVerb verb : {WindowVerb::window, WindowVerb::click}) {
    const std::size_t n = std::strlen(word(verb));
    if (line.compare(0, n, word(verb)) == 0 && (line.size() == n || line.find_first_of(kBlanks, n) == n))
      return verb;
  }
  return WindowVerb::none;
}

bool parse_window_step(const std::string& line, WindowVerb verb, WindowStep* step, std::string* text,
                       std::string* error) {
  const bool click = verb == WindowVerb::click;
  const std::string usage = click ? "use: click TITLE X Y (pixels from the top-left of its client area; "
                                    "a title with spaces in double quotes)"
                                  : "use: window TITLE [within SECONDS] (a title with spaces in double quotes)";
  const auto bad = [&](const std::string& why) {
    *error = why + "; " + usage;
    return false;
  };
  std::size_t at = line.find_first_not_of(kBlanks, std::strlen(word(verb)));
  if (at == std::string::npos || line[at] == '#') return bad("no title");
  // A quoted title may hold spaces and '#'; a bare one ends at a blank or a comment.
  std::size_t end;
  if (line[at] == '"') {
    const std::size_t close = line.find('"', at + 1);
    if (close == std::string::npos) return bad("the title's closing quote is missing");
    step->title = line.substr(at + 1, close - at - 1);
    end = close + 1;
    if (end < line.size() && line.find_first_of(kBlanks, end) != end) return bad("a blank must follow the title");
  } else {
    end = line.find_first_of(" \t#", at);
    if (end == std::string::npos) end = line.size();
    step->title = line.substr(at, end - at);
  }
  if (step->title.empty()) return bad("no title");
  const std::string rest = line.substr(end, line.find('#', end) - end);
  *text = line.substr(0, end) + rest;
  text->erase(text->find_last_not_of(kBlanks) + 1);
  std::istringstream in(rest);
  std::vector<std::string> w;
  for (std::string word; in >> word;) w.push_back(word);
  if (click) {
    if (w.size() != 2 || !parse_int(w[0], 0, kMaxCoordinate, &step->x) ||
        !parse_int(w[1], 0, kMaxCoordinate, &step->y))
      return bad("X and Y are whole pixels, 0 or more");
    return true;
  }
  step->seconds = kDefaultWindowSeconds;
  if (w.empty()) return true;
  if (w.size() != 2 || w[0] != "within" || !parse_seconds(w[1], &step->seconds))
    return bad("the step ends with \"within SECONDS\" or nothing");
  return true;
}

}  // namespace placasim
