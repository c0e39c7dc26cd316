#include "support/XTestDisplay.h"
#include "support/Wait.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>

namespace {

Window findByName(Display* display, Window window, const std::string& name) {
    char* windowName = nullptr;
    if (XFetchName(display, window, &windowName) != 0 && windowName != nullptr) {
        const bool match = name == windowName;
        XFree(windowName);
        if (match) {
            return window;
        }
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
        for (unsigned i = 0; i < count && found == 0; ++i) {
            found = findByName(display, children[i], name);
        }
        if (children != nullptr) {
            XFree(children);
        }
    }
    return found;
}

int channel(unsigned long pixel, unsigned long mask) {
    int shift = 0;
    while (mask != 0 && ((mask >> shift) & 1) == 0) {
        ++shift;
    }
    const unsigned long max = mask >> shift;
    return max == 0 ? 0 : static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

} // namespace

namespace XTestDisplay {

unsigned long waitForWindow(const std::string& title, int timeoutMilliseconds) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 0;
    }
    Window found = 0;
    testwait::waitUntil(
        [&] {
            found = findByName(display, DefaultRootWindow(display), title);
            return found != 0;
        },
        std::chrono::milliseconds(timeoutMilliseconds));
    XCloseDisplay(display);
    return found;
}

bool requestClose(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return sent != 0;
}

RgbImage grab(unsigned long window) {
    RgbImage result;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return result;
    }
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) != 0) {
        XImage* image =
            XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
        if (image != nullptr) {
            result.width = attributes.width;
            result.height = attributes.height;
            result.pixels.resize(static_cast<size_t>(result.width) * result.height * 3);
            size_t at = 0;
            for (int y = 0; y < result.height; ++y) {
                for (int x = 0; x < result.width; ++x) {
                    const unsigned long pixel = XGetPixel(image, x, y);
                    result.pixels[at++] = static_cast<unsigned char>(channel(pixel, image->red_mask));
                    result.pixels[at++] = static_cast<unsigned char>(channel(pixel, image->green_mask));
                    result.pixels[at++] = static_cast<unsigned char>(channel(pixel, image->blue_mask));
                }
            }
            XDestroyImage(image);
        }
    }
    XCloseDisplay(display);
    return result;
}

} // namespace XTestDisplay
