#pragma once

// The picture of one X window as JPEG: the player's window found by its title on the console's
// own display, read with XGetImage and compressed with libjpeg-turbo. Used by the picture
// feed's thread only (Xlib is not shared with any other thread).

#include <string>

typedef struct _XDisplay Display;

namespace VelConsole {

class WindowCapture {
public:
    explicit WindowCapture(std::string title, int quality = 70);
    ~WindowCapture();
    WindowCapture(const WindowCapture&) = delete;
    WindowCapture& operator=(const WindowCapture&) = delete;

    // Reads the window and compresses it into jpeg. False with reason set when there is no
    // display, no window of that title, or the window cannot be read (not mapped, gone); the
    // next call looks for the window again.
    bool grab(std::string& jpeg, std::string& reason);

private:
    bool openDisplay(std::string& reason);
    unsigned long find(unsigned long window, int depth);

    std::string title_;
    int quality_; // JPEG quality, 1..100
    Display* display_ = nullptr;
    unsigned long window_ = 0; // the player's window, 0 until found
    std::string displayName_;
};

// Compresses rows of 32-bit pixels (bytes B, G, R, X) into a JPEG. False when libjpeg fails.
bool compressBgrx(const unsigned char* pixels, int width, int height, int stride, int quality,
                  std::string& jpeg);

} // namespace VelConsole
