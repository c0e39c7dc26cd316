// velquin-screenshot: saves the picture of an X window (by default the whole screen) as PNG.
// Used by the demo script and the tests on a display without a window manager.
//   velquin-screenshot OUTPUT.png [WINDOW-NAME]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void putBigEndian(std::vector<unsigned char>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void putChunk(std::FILE* file, const char* kind, const std::vector<unsigned char>& data) {
    std::vector<unsigned char> chunk;
    putBigEndian(chunk, static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), kind, kind + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    putBigEndian(chunk, static_cast<uint32_t>(crc));
    std::fwrite(chunk.data(), 1, chunk.size(), file);
}

// Writes 8-bit RGB rows as a PNG file. False on failure.
bool writePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb) {
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + static_cast<long>(y) * width * 3,
                   rgb.begin() + static_cast<long>(y + 1) * width * 3);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::fwrite(signature, 1, sizeof signature, file);
    std::vector<unsigned char> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});
    return std::fclose(file) == 0;
}

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
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1) == 0) {
        ++shift;
    }
    const unsigned long max = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc >= 2 ? stdout : stderr,
                     "usage: velquin-screenshot OUTPUT.png [WINDOW-NAME]\n"
                     "Saves the X screen (or the named window) of $DISPLAY as a PNG file.\n");
        return argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "velquin-screenshot: cannot open the X display\n");
        return 1;
    }
    Window window = DefaultRootWindow(display);
    if (argc == 3) {
        window = findByName(display, window, argv[2]);
        if (window == 0) {
            std::fprintf(stderr, "velquin-screenshot: no window named '%s'\n", argv[2]);
            XCloseDisplay(display);
            return 1;
        }
    }
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        std::fprintf(stderr, "velquin-screenshot: cannot read the window\n");
        XCloseDisplay(display);
        return 1;
    }
    std::vector<unsigned char> rgb(static_cast<size_t>(attributes.width) * attributes.height * 3);
    size_t at = 0;
    for (int y = 0; y < attributes.height; ++y) {
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            rgb[at++] = static_cast<unsigned char>(channel(pixel, image->red_mask));
            rgb[at++] = static_cast<unsigned char>(channel(pixel, image->green_mask));
            rgb[at++] = static_cast<unsigned char>(channel(pixel, image->blue_mask));
        }
    }
    XDestroyImage(image);
    XCloseDisplay(display);
    if (!writePng(argv[1], attributes.width, attributes.height, rgb)) {
        std::fprintf(stderr, "velquin-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
