// What panel_probe does, per window system (panel_probe_x11.cpp, panel_probe_win32.cpp).
// The window is found by its exact title; 1 when there is none.
#pragma once

// Asks it to close, as a window manager's close button does.
int close_window(const char* title);
// Prints the text of the panel's status, as the panel shows it.
int print_status(const char* title);
