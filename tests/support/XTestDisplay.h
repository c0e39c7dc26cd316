#pragma once

#include <string>
#include <vector>

// The tests' own view of the X display: finding the player's window, asking it to close as a
// window manager would, and reading its pixels.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels; // rows of R, G, B

    const unsigned char* at(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
};

namespace XTestDisplay {
// Waits up to the timeout for a top-level window with that title; 0 if none appears.
unsigned long waitForWindow(const std::string& title, int timeoutMilliseconds);
// Sends WM_DELETE_WINDOW, as a window manager does when the user closes the window.
bool requestClose(unsigned long window);
// Reads the window's current picture.
RgbImage grab(unsigned long window);
} // namespace XTestDisplay
