// Between the window model (windows.cpp) and the FLTK backend (fltk_backend.cpp).
// The model owns every window's state; a backend only draws it and turns the user's
// actions into messages posted through post_from_backend.
#pragma once

#include <cstdint>
#include <string>

#include "win32_user.h"

namespace posix_ui::detail {

// Posts to the queue of the window's thread; callable from any thread.
void post_from_backend(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace posix_ui::detail

namespace posix_ui::fltk {

enum class Shown { hidden, normal, minimized };

// Opens the display; false when there is none. Called once. The calling thread
// becomes the one that draws.
bool start();
bool on_drawing_thread();

// Sizes are the outer sizes of a Win32 window; the backend takes off its frame.
void* create_top_level(HWND window, const std::string& title, int x, int y, int width,
                       int height, bool default_position, uint32_t background_rgb);
void* create_button(HWND button, void* parent, const std::string& text, int x, int y,
                    int width, int height);
void show(void* peer, void* owner, Shown state);
void destroy(void* peer);

// Waits for the display's events or a wake(), handling them; drawing thread only.
void wait();
// Handles the events already there, without waiting; drawing thread only.
void wait_briefly();
void wake();

int message_box(const char* text, const char* caption, UINT type);

}  // namespace posix_ui::fltk
