#pragma once

#include <string>

struct _XDisplay;

// The player's own connection to the X server, for what the render engine does not do:
// the close protocol atom, the cursor, the display size and (for pointer interaction) the
// pointer position. Main thread only.
class X11Desktop {
public:
    X11Desktop();
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // False when no X display could be opened.
    bool isOpen() const { return display_ != nullptr; }
    // Makes sure "WM_DELETE_WINDOW" exists before the engine's GL support looks it up: without a
    // window manager nobody else creates it, and the window would then ignore close requests.
    void prepareCloseProtocol();
    // Gives the window the standard arrow cursor.
    void setArrowCursor(unsigned long window);
    // False when no X display could be opened (DISPLAY unset or unreachable).
    bool hasDisplay() const { return display_ != nullptr; }
    // Width and height of the primary screen in pixels; -1 when unknown.
    int displayWidth() const;
    int displayHeight() const;
    // Where monitor index (from 0, in the X server's order) lies on the screen; false when there
    // is no such monitor.
    bool monitor(int index, int& x, int& y, int& width, int& height) const;
    // Moves and sizes a top-level window (what a window manager does for full screen).
    void placeWindow(unsigned long window, int x, int y, int width, int height);
    // The pointer's position on the screen; false when unknown.
    bool pointerPosition(int& x, int& y) const;
    // Moves the pointer to a screen position.
    void warpPointer(int x, int y);

private:
    _XDisplay* display_;
};
