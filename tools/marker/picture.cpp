#include "picture.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <zlib.h>

#if VELQUIN_MARKER_ENGINE_CODECS
#include <OgreDataStream.h>
#include <OgreImage.h>
#include <OgreLogManager.h>
#include <OgreRoot.h>
#endif

namespace {

constexpr int kMaxSide = 16384;

std::string lowerExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return "";
    }
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ext;
}

// Next whitespace-separated token of a plain Netpbm file, skipping comments.
bool nextToken(std::istream& in, std::string* token) {
    token->clear();
    int c;
    while ((c = in.get()) != EOF) {
        if (c == '#') {
            while ((c = in.get()) != EOF && c != '\n') {
            }
        } else if (!std::isspace(c)) {
            break;
        }
    }
    if (c == EOF) {
        return false;
    }
    // Plain bitmaps may run their 0s and 1s together.
    token->push_back(static_cast<char>(c));
    while ((c = in.peek()) != EOF && !std::isspace(c) && c != '#') {
        token->push_back(static_cast<char>(in.get()));
        if (token->size() > 12) {
            return false;
        }
    }
    return true;
}

bool readNumber(std::istream& in, long low, long high, long* value) {
    std::string token;
    if (!nextToken(in, &token) || token.empty()) {
        return false;
    }
    for (char c : token) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    const long v = std::strtol(token.c_str(), nullptr, 10);
    if (v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

bool readNetpbm(const std::string& path, Picture* picture, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    if (!nextToken(in, &magic) || (magic != "P1" && magic != "P2" && magic != "P3")) {
        *error = "not a plain PBM, PGM or PPM file (P1, P2, P3)";
        return false;
    }
    long width;
    long height;
    long maximum = 1;
    if (!readNumber(in, 1, kMaxSide, &width) || !readNumber(in, 1, kMaxSide, &height) ||
        (magic != "P1" && !readNumber(in, 1, 65535, &maximum))) {
        *error = "bad size or maximum value in the header";
        return false;
    }
    *picture = Picture(static_cast<int>(width), static_cast<int>(height), 0);
    const int channels = magic == "P3" ? 3 : 1;
    std::string token;
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            uint8_t rgb[3];
            for (int k = 0; k < channels; ++k) {
                long v;
                if (magic == "P1") {
                    // Single digits, possibly run together.
                    int c;
                    do {
                        c = in.get();
                        if (c == '#') {
                            while ((c = in.get()) != EOF && c != '\n') {
                            }
                        }
                    } while (c != EOF && std::isspace(c));
                    if (c != '0' && c != '1') {
                        *error = "the bitmap ends early or holds something other than 0 and 1";
                        return false;
                    }
                    v = c == '1' ? 0 : 255; // 1 is black
                } else {
                    if (!readNumber(in, 0, maximum, &v)) {
                        *error = "the picture ends early or holds a value above its maximum";
                        return false;
                    }
                    v = v * 255 / maximum;
                }
                rgb[k] = static_cast<uint8_t>(v);
            }
            uint8_t* t = picture->at(static_cast<int>(x), static_cast<int>(y));
            if (channels == 1) {
                t[0] = t[1] = t[2] = rgb[0];
            } else {
                t[0] = rgb[2];
                t[1] = rgb[1];
                t[2] = rgb[0];
            }
        }
    }
    return true;
}

#if VELQUIN_MARKER_ENGINE_CODECS
bool readWithEngine(const std::string& path, const std::string& ext, Picture* picture, std::string* error) {
    // The engine's codecs live in a plug-in that only a Root can load; no render system and no
    // log file are needed for it.
    auto* logs = new Ogre::LogManager();
    logs->createLog("velquin-marker", true, false, true);
    bool ok = false;
    {
        Ogre::Root root("", "", "");
        try {
            root.loadPlugin(std::string(VELQUIN_OGRE_PLUGIN_DIR) + "/Codec_STBI");
            auto* file = new std::ifstream(path, std::ios::binary);
            Ogre::DataStreamPtr stream(new Ogre::FileStreamDataStream(file, true));
            Ogre::Image image;
            image.load(stream, ext == "jpeg" ? "jpg" : ext);
            if (image.getWidth() < 1 || image.getHeight() < 1 || image.getWidth() > kMaxSide ||
                image.getHeight() > kMaxSide) {
                *error = "the picture is empty or too large";
            } else {
                *picture =
                    Picture(static_cast<int>(image.getWidth()), static_cast<int>(image.getHeight()), 0);
                for (int y = 0; y < picture->height; ++y) {
                    for (int x = 0; x < picture->width; ++x) {
                        const Ogre::ColourValue c = image.getColourAt(x, y, 0);
                        // Transparent parts print as paper: white.
                        const float a = c.a;
                        uint8_t* t = picture->at(x, y);
                        t[0] = static_cast<uint8_t>((c.b * a + (1.0f - a)) * 255.0f + 0.5f);
                        t[1] = static_cast<uint8_t>((c.g * a + (1.0f - a)) * 255.0f + 0.5f);
                        t[2] = static_cast<uint8_t>((c.r * a + (1.0f - a)) * 255.0f + 0.5f);
                    }
                }
                ok = true;
            }
        } catch (const Ogre::Exception& e) {
            *error = "cannot decode it: " + e.getDescription();
        }
    }
    delete logs;
    return ok;
}
#endif

void appendBigEndian(std::string& out, uint32_t value) {
    for (int i = 3; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void appendChunk(std::string& out, const char* type, const std::string& data) {
    appendBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    appendBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                     static_cast<uInt>(body.size()))));
}

} // namespace

bool readPicture(const std::string& path, Picture* picture, std::string* error) {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) {
        *error = "cannot open it";
        return false;
    }
    const std::string ext = lowerExtension(path);
    if (ext == "pbm" || ext == "pgm" || ext == "ppm" || ext == "pnm") {
        return readNetpbm(path, picture, error);
    }
    if (ext == "png" || ext == "jpg" || ext == "jpeg") {
#if VELQUIN_MARKER_ENGINE_CODECS
        return readWithEngine(path, ext, picture, error);
#else
        *error = "this build reads plain PBM, PGM and PPM only (PNG and JPEG need the render engine)";
        return false;
#endif
    }
    *error = "unknown picture type (use .png, .jpg, .jpeg, .pbm, .pgm or .ppm)";
    return false;
}

bool writePng(const std::string& path, const Picture& picture, std::string* error, int dotsPerMetre) {
    std::string raw;
    raw.reserve(static_cast<size_t>(picture.height) * (picture.width * 3 + 1));
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0); // no filter
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* t = picture.at(x, y);
            raw.push_back(static_cast<char>(t[2]));
            raw.push_back(static_cast<char>(t[1]));
            raw.push_back(static_cast<char>(t[0]));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 9) != Z_OK) {
        *error = "cannot compress the picture";
        return false;
    }
    packed.resize(packedSize);
    std::string header;
    appendBigEndian(header, static_cast<uint32_t>(picture.width));
    appendBigEndian(header, static_cast<uint32_t>(picture.height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    if (dotsPerMetre > 0) {
        // The printing size: a viewer or printer that honours it prints at true size.
        std::string density;
        appendBigEndian(density, static_cast<uint32_t>(dotsPerMetre));
        appendBigEndian(density, static_cast<uint32_t>(dotsPerMetre));
        density.push_back('\x01'); // per metre
        appendChunk(png, "pHYs", density);
    }
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", "");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    out.close();
    if (!out) {
        *error = "cannot write it";
        return false;
    }
    return true;
}
