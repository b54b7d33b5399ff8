// Helper of the panel's tests under a display:
//   panel_probe close TITLE   asks the window titled TITLE to close, as a window
//                             manager's close button does
//   panel_probe status TITLE  prints the status text of the panel titled TITLE
#include <cstdio>
#include <cstring>

#include "panel/panel_probe.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "close") == 0) return close_window(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "status") == 0) return print_status(argv[2]);
  std::fprintf(stderr, "usage: panel_probe close|status TITLE\n");
  return 2;
}
