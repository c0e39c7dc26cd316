#include "app/X11Desktop.h"

#include <X11/Xlib.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xrandr.h>

X11Desktop::X11Desktop() : display_(XOpenDisplay(nullptr)) {}

X11Desktop::~X11Desktop() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

void X11Desktop::prepareCloseProtocol() {
    if (display_ != nullptr) {
        XInternAtom(display_, "WM_DELETE_WINDOW", False);
        XFlush(display_);
    }
}

void X11Desktop::setArrowCursor(unsigned long window) {
    if (display_ != nullptr && window != 0) {
        XDefineCursor(display_, window, XCreateFontCursor(display_, XC_left_ptr));
        XFlush(display_);
    }
}

int X11Desktop::displayWidth() const {
    return display_ != nullptr ? DisplayWidth(display_, DefaultScreen(display_)) : -1;
}

int X11Desktop::displayHeight() const {
    return display_ != nullptr ? DisplayHeight(display_, DefaultScreen(display_)) : -1;
}

bool X11Desktop::monitor(int index, int& x, int& y, int& width, int& height) const {
    if (display_ == nullptr || index < 0) {
        return false;
    }
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display_, DefaultRootWindow(display_), True, &count);
    const bool found = monitors != nullptr && index < count;
    if (found) {
        x = monitors[index].x;
        y = monitors[index].y;
        width = monitors[index].width;
        height = monitors[index].height;
    }
    if (monitors != nullptr) {
        XRRFreeMonitors(monitors);
    }
    return found;
}

void X11Desktop::placeWindow(unsigned long window, int x, int y, int width, int height) {
    if (display_ != nullptr && window != 0 && width > 0 && height > 0) {
        XMoveResizeWindow(display_, window, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        XFlush(display_);
    }
}

bool X11Desktop::pointerPosition(int& x, int& y) const {
    if (display_ == nullptr) {
        return false;
    }
    Window root = 0, child = 0;
    int windowX = 0, windowY = 0;
    unsigned int mask = 0;
    return XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &windowX, &windowY,
                         &mask) != 0;
}

void X11Desktop::warpPointer(int x, int y) {
    if (display_ != nullptr) {
        XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
        XFlush(display_);
    }
}
