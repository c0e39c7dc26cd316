// velquin-screenshot: saves the picture of an X window (by default the whole screen) as PNG.
// Used by the demo script and the tests on a display without a window manager.
//   velquin-screenshot [--reduce N] OUTPUT.png [WINDOW-NAME]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
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

int paeth(int left, int up, int corner) {
    const int p = left + up - corner;
    const int toLeft = std::abs(p - left), toUp = std::abs(p - up), toCorner = std::abs(p - corner);
    return toLeft <= toUp && toLeft <= toCorner ? left : toUp <= toCorner ? up : corner;
}

// One row as PNG filter type `type` (0 none, 1 sub, 2 up, 4 Paeth) over the row above.
std::vector<unsigned char> filtered(const unsigned char* row, const unsigned char* above, int bytes,
                                    int type) {
    std::vector<unsigned char> out(static_cast<size_t>(bytes) + 1);
    out[0] = static_cast<unsigned char>(type);
    for (int i = 0; i < bytes; ++i) {
        const int left = i >= 3 ? row[i - 3] : 0;
        const int up = above != nullptr ? above[i] : 0;
        const int corner = i >= 3 && above != nullptr ? above[i - 3] : 0;
        const int predicted = type == 1 ? left : type == 2 ? up : type == 4 ? paeth(left, up, corner) : 0;
        out[static_cast<size_t>(i) + 1] = static_cast<unsigned char>(row[i] - predicted);
    }
    return out;
}

// Writes 8-bit RGB rows as a PNG file, each row with the filter that leaves the smallest
// differences (the usual choice: it lets smooth pictures compress well). False on failure.
bool writePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb) {
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    const int bytes = width * 3;
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = rgb.data() + static_cast<size_t>(y) * bytes;
        const unsigned char* above = y > 0 ? row - bytes : nullptr;
        std::vector<unsigned char> best;
        long bestCost = -1;
        for (int type : {0, 1, 2, 4}) {
            std::vector<unsigned char> candidate = filtered(row, above, bytes, type);
            long cost = 0;
            for (size_t i = 1; i < candidate.size(); ++i) {
                cost += std::abs(static_cast<signed char>(candidate[i]));
            }
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                best.swap(candidate);
            }
        }
        raw.insert(raw.end(), best.begin(), best.end());
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) {
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

// The picture made `factor` times smaller, each pixel the average of a factor x factor block.
std::vector<unsigned char> reduced(const std::vector<unsigned char>& rgb, int& width, int& height,
                                   int factor) {
    const int smallWidth = width / factor, smallHeight = height / factor;
    std::vector<unsigned char> out(static_cast<size_t>(smallWidth) * smallHeight * 3);
    for (int y = 0; y < smallHeight; ++y) {
        for (int x = 0; x < smallWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy) {
                    for (int dx = 0; dx < factor; ++dx) {
                        sum += rgb[(static_cast<size_t>(y * factor + dy) * width + x * factor + dx) * 3 + c];
                    }
                }
                out[(static_cast<size_t>(y) * smallWidth + x) * 3 + c] =
                    static_cast<unsigned char>((sum + factor * factor / 2) / (factor * factor));
            }
        }
    }
    width = smallWidth;
    height = smallHeight;
    return out;
}

} // namespace

int main(int argc, char** argv) {
    int factor = 1;
    if (argc >= 3 && std::strcmp(argv[1], "--reduce") == 0) {
        factor = std::atoi(argv[2]);
        argv += 2;
        argc -= 2;
    }
    if (argc < 2 || argc > 3 || std::strcmp(argv[1], "--help") == 0 || factor < 1 || factor > 16) {
        std::fprintf(argc >= 2 ? stdout : stderr,
                     "usage: velquin-screenshot [--reduce N] OUTPUT.png [WINDOW-NAME]\n"
                     "Saves the X screen (or the named window) of $DISPLAY as a PNG file, N times\n"
                     "smaller with --reduce N (1 to 16).\n");
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
    int width = attributes.width, height = attributes.height;
    if (factor > 1) {
        rgb = reduced(rgb, width, height, factor);
    }
    if (!writePng(argv[1], width, height, rgb)) {
        std::fprintf(stderr, "velquin-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
