#include "tools/console/WindowCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace VelConsole {

namespace {

// Xlib reports a request on a window that just went away through a process-wide handler that
// would end the program by default; the feed's thread is the only Xlib user, so a flag suffices.
int lastXError = 0;
int rememberXError(Display*, XErrorEvent* event) {
    lastXError = event->error_code;
    return 0;
}

// libjpeg's errors come back to the call that failed instead of ending the process.
struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};
void onJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->back, 1);
}

int channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1) == 0) {
        ++shift;
    }
    return static_cast<int>(((pixel & mask) >> shift) * 255 / (mask >> shift));
}

} // namespace

bool compressBgrx(const unsigned char* pixels, int width, int height, int stride, int quality,
                  std::string& jpeg) {
    jpeg_compress_struct info{};
    JpegFailure failure{};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = onJpegError;
    unsigned char* output = nullptr;
    unsigned long size = 0;
    if (setjmp(failure.back) != 0) {
        jpeg_destroy_compress(&info);
        std::free(output);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &output, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = JDCT_IFAST;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<unsigned char*>(pixels + static_cast<std::size_t>(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg.assign(reinterpret_cast<const char*>(output), size);
    jpeg_destroy_compress(&info);
    std::free(output);
    return true;
}

WindowCapture::WindowCapture(std::string title, int quality) : title_(std::move(title)), quality_(quality) {}

WindowCapture::~WindowCapture() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

bool WindowCapture::openDisplay(std::string& reason) {
    if (display_ != nullptr) {
        return true;
    }
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        reason = "the console has no X display (DISPLAY is not set)";
        return false;
    }
    displayName_ = name;
    display_ = XOpenDisplay(name);
    if (display_ == nullptr) {
        reason = "the console cannot open the X display " + displayName_;
        return false;
    }
    XSetErrorHandler(rememberXError);
    return true;
}

unsigned long WindowCapture::find(unsigned long window, int depth) {
    char* name = nullptr;
    if (XFetchName(display_, window, &name) != 0 && name != nullptr) {
        const bool match = title_ == name;
        XFree(name);
        if (match) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display_, window, &attributes) != 0 &&
                attributes.map_state == IsViewable) {
                return window;
            }
        }
    }
    if (depth > 8) {
        return 0;
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    unsigned long found = 0;
    if (XQueryTree(display_, window, &root, &parent, &children, &count) != 0) {
        // The topmost window of that title is the one on screen.
        for (unsigned index = count; index-- > 0 && found == 0;) {
            found = find(children[index], depth + 1);
        }
        if (children != nullptr) {
            XFree(children);
        }
    }
    return found;
}

bool WindowCapture::grab(std::string& jpeg, std::string& reason) {
    if (!openDisplay(reason)) {
        return false;
    }
    if (window_ == 0) {
        window_ = find(DefaultRootWindow(display_), 0);
        if (window_ == 0) {
            reason = "no window titled \"" + title_ + "\" on the display " + displayName_ +
                     " (the player is not running here, or not yet)";
            return false;
        }
    }
    lastXError = 0;
    XWindowAttributes attributes{};
    XImage* image = nullptr;
    if (XGetWindowAttributes(display_, window_, &attributes) != 0 && attributes.map_state == IsViewable &&
        attributes.width > 0 && attributes.height > 0) {
        image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    }
    XSync(display_, False);
    if (image == nullptr || lastXError != 0) {
        if (image != nullptr) {
            XDestroyImage(image);
        }
        window_ = 0;
        reason = "the player's window could not be read (closed or hidden)";
        return false;
    }
    bool compressed = false;
    if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst && image->red_mask == 0xff0000 &&
        image->green_mask == 0xff00 && image->blue_mask == 0xff) {
        compressed = compressBgrx(reinterpret_cast<const unsigned char*>(image->data), image->width,
                                  image->height, image->bytes_per_line, quality_, jpeg);
    } else {
        // Any other visual: one pixel at a time, slow but rare.
        std::vector<unsigned char> pixels(static_cast<std::size_t>(image->width) * image->height * 4);
        std::size_t at = 0;
        for (int y = 0; y < image->height; ++y) {
            for (int x = 0; x < image->width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                pixels[at++] = static_cast<unsigned char>(channel(pixel, image->blue_mask));
                pixels[at++] = static_cast<unsigned char>(channel(pixel, image->green_mask));
                pixels[at++] = static_cast<unsigned char>(channel(pixel, image->red_mask));
                pixels[at++] = 255;
            }
        }
        compressed =
            compressBgrx(pixels.data(), image->width, image->height, image->width * 4, quality_, jpeg);
    }
    XDestroyImage(image);
    if (!compressed) {
        reason = "the picture could not be compressed";
    }
    return compressed;
}

} // namespace VelConsole
