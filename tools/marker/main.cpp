// velquin-marker: makes markers for presentations. From a picture of a marker's interior it writes
// the pattern file the player loads for a tracker (the picture as the detector samples it: four
// orientations, three colour planes, 16 x 16 cells) and a printable marker (the picture inside its
// black square). It can also make a set of distinct markers.
#include "chessboard.h"
#include "picture.h"
#include "tracking/pattern.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const kUsage = "Usage: velquin-marker [OPTION]... PICTURE NAME\n"
                           "  or:  velquin-marker [OPTION]... --generate COUNT DIRECTORY\n"
                           "  or:  velquin-marker --chessboard COLSxROWS --square MM [DIRECTORY]\n"
                           "\n"
                           "The first form reads PICTURE (PNG, JPEG, or plain PBM/PGM/PPM text), the\n"
                           "inside of a marker, and writes NAME.pat, the pattern file a tracker loads,\n"
                           "and NAME.png, the marker to print: the picture in the middle half of a\n"
                           "black square, with a white margin. Print it at any size; the tracker's\n"
                           "width is the side of the black square.\n"
                           "\n"
                           "The second form makes COUNT markers that the detector tells apart from each\n"
                           "other in every orientation, DIRECTORY/PREFIX01.pat and .png, and so on.\n"
                           "\n"
                           "The third form writes the chessboard velquin-calibrate looks for\n"
                           "(COLSxROWS inner corners, squares of MM millimetres) as pages to print at\n"
                           "true size, a PDF and a PNG of 300 dots per inch each for A4 and for\n"
                           "Letter, into DIRECTORY (default: the current one).\n"
                           "\n"
                           "Options:\n"
                           "  --size PIXELS    side of the black square in the printable picture\n"
                           "                   (default 400)\n"
                           "  --margin PIXELS  white margin around it (default: an eighth of the size)\n"
                           "  --seed NUMBER    seed of --generate (default 1)\n"
                           "  --prefix TEXT    file name prefix of --generate (default \"marker-\")\n"
                           "  --help           this text\n";

struct Options {
    int size = 400;
    int margin = -1;
    unsigned seed = 1;
    std::string prefix = "marker-";
    int generate = 0;
    int boardColumns = 0; // --chessboard
    int boardRows = 0;
    double square = 0.0; // --square, millimetres
    std::vector<std::string> operands;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "velquin-marker: %s\n", message.c_str());
    return 1;
}

bool parseInt(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

// Mean-free correlation of two patterns, as the detector's identification computes it.
double correlation(const Ostrevan::SampledPattern& a, const Ostrevan::SampledPattern& b) {
    const uint8_t* pa = &a.cells[0][0][0];
    const uint8_t* pb = &b.cells[0][0][0];
    double meanA = 0;
    double meanB = 0;
    for (int i = 0; i < Ostrevan::kPatternValues; ++i) {
        meanA += 255 - pa[i];
        meanB += 255 - pb[i];
    }
    meanA /= Ostrevan::kPatternValues;
    meanB /= Ostrevan::kPatternValues;
    double ab = 0;
    double aa = 0;
    double bb = 0;
    for (int i = 0; i < Ostrevan::kPatternValues; ++i) {
        const double u = 255 - pa[i] - meanA;
        const double v = 255 - pb[i] - meanB;
        ab += u * v;
        aa += u * u;
        bb += v * v;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 1.0;
}

Picture printable(const Picture& picture, int size, int margin) {
    Picture out(size + 2 * margin, size + 2 * margin, 255);
    const int inner = size / 2;
    const int innerStart = margin + (size - inner) / 2;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint8_t* t = out.at(margin + x, margin + y);
            t[0] = t[1] = t[2] = 0;
        }
    }
    for (int y = 0; y < inner; ++y) {
        for (int x = 0; x < inner; ++x) {
            const uint8_t* s = picture.at(static_cast<int>(static_cast<long>(x) * picture.width / inner),
                                          static_cast<int>(static_cast<long>(y) * picture.height / inner));
            uint8_t* t = out.at(innerStart + x, innerStart + y);
            t[0] = s[0];
            t[1] = s[1];
            t[2] = s[2];
        }
    }
    return out;
}

bool writeMarker(const Picture& picture, const std::string& name, const Options& options,
                 std::string* error) {
    Ostrevan::SampledPattern upright;
    if (!Ostrevan::patternOfPicture(picture.texels.data(), picture.width, picture.height, &upright)) {
        *error = "empty picture";
        return false;
    }
    const std::string text = Ostrevan::patternFileOf(upright);
    std::ofstream pattern(name + ".pat", std::ios::trunc);
    pattern << text;
    pattern.close();
    if (!pattern) {
        *error = "cannot write " + name + ".pat";
        return false;
    }
    const int margin = options.margin >= 0 ? options.margin : options.size / 8;
    std::string reason;
    if (!writePng(name + ".png", printable(picture, options.size, margin), &reason)) {
        *error = name + ".png: " + reason;
        return false;
    }
    return true;
}

// A random picture of 8 x 8 dark and light cells, about half dark, with a dark corner block,
// accepted only when it
// correlates weakly with its own turns and with every marker already made, in every turn.
bool generate(const Options& options, const std::string& directory, std::string* error) {
    std::mt19937 random(options.seed);
    std::vector<Ostrevan::SampledPattern> made;
    int attempts = 0;
    while (static_cast<int>(made.size()) < options.generate) {
        if (++attempts > 100000) {
            *error = "cannot find that many distinct markers";
            return false;
        }
        Picture picture(8, 8, 235);
        int darkCells = 0;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const bool dark = (x < 2 && y < 2) || (random() & 1) != 0;
                uint8_t* t = picture.at(x, y);
                t[0] = t[1] = t[2] = dark ? 20 : 235;
                darkCells += dark ? 1 : 0;
            }
        }
        // About as much dark as light: the picture stays readable from afar.
        if (darkCells < 26 || darkCells > 38) {
            continue;
        }
        Ostrevan::SampledPattern turns[4];
        Ostrevan::patternOfPicture(picture.texels.data(), 8, 8, &turns[0]);
        for (int o = 1; o < 4; ++o) {
            turns[o] = Ostrevan::rotatePattern(turns[o - 1]);
        }
        bool distinct = true;
        for (int o = 1; o < 4 && distinct; ++o) {
            distinct = correlation(turns[0], turns[o]) < 0.5;
        }
        for (const Ostrevan::SampledPattern& other : made) {
            for (int o = 0; o < 4 && distinct; ++o) {
                distinct = correlation(turns[o], other) < 0.5;
            }
        }
        if (!distinct) {
            continue;
        }
        made.push_back(turns[0]);
        char number[16];
        std::snprintf(number, sizeof number, "%02d", static_cast<int>(made.size()));
        if (!writeMarker(picture, directory + "/" + options.prefix + number, options, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const bool takesValue = arg == "--size" || arg == "--margin" || arg == "--seed" ||
                                arg == "--prefix" || arg == "--generate" || arg == "--chessboard" ||
                                arg == "--square";
        if (takesValue && i + 1 >= argc) {
            return fail(arg + " needs a value");
        }
        long value = 0;
        if (arg == "--size") {
            if (!parseInt(argv[++i], 16, 8192, &value)) {
                return fail("--size needs a number of pixels in 16..8192");
            }
            options.size = static_cast<int>(value);
        } else if (arg == "--margin") {
            if (!parseInt(argv[++i], 0, 8192, &value)) {
                return fail("--margin needs a number of pixels in 0..8192");
            }
            options.margin = static_cast<int>(value);
        } else if (arg == "--seed") {
            if (!parseInt(argv[++i], 0, 2147483647L, &value)) {
                return fail("--seed needs a non-negative number");
            }
            options.seed = static_cast<unsigned>(value);
        } else if (arg == "--prefix") {
            options.prefix = argv[++i];
            if (options.prefix.find('/') != std::string::npos) {
                return fail("--prefix may not contain '/'");
            }
        } else if (arg == "--generate") {
            if (!parseInt(argv[++i], 1, 50, &value)) {
                return fail("--generate needs a count in 1..50 (the player holds 50 patterns)");
            }
            options.generate = static_cast<int>(value);
        } else if (arg == "--chessboard") {
            char rest = 0;
            if (std::sscanf(argv[++i], "%dx%d%c", &options.boardColumns, &options.boardRows, &rest) != 2 ||
                options.boardColumns < 2 || options.boardRows < 2 || options.boardColumns > 50 ||
                options.boardRows > 50) {
                return fail("--chessboard needs inner corners across and down, such as 9x6");
            }
        } else if (arg == "--square") {
            char* end = nullptr;
            options.square = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(options.square >= 1.0 && options.square <= 200.0)) {
                return fail("--square needs millimetres in 1..200");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "velquin-marker: unknown option %s\n\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            options.operands.push_back(arg);
        }
    }
    std::string error;
    if (options.boardColumns > 0) {
        if (options.square <= 0.0 || options.operands.size() > 1) {
            std::fprintf(stderr, "velquin-marker: --chessboard needs --square and at most a directory\n\n%s",
                         kUsage);
            return 2;
        }
        if (!writeChessboard(options.boardColumns, options.boardRows, options.square,
                             options.operands.empty() ? "." : options.operands[0], &error)) {
            return fail(error);
        }
        return 0;
    }
    if (options.generate > 0) {
        if (options.operands.size() != 1) {
            std::fprintf(stderr, "velquin-marker: --generate needs one output directory\n\n%s", kUsage);
            return 2;
        }
        if (!generate(options, options.operands[0], &error)) {
            return fail(error);
        }
        return 0;
    }
    if (options.operands.size() != 2) {
        std::fprintf(stderr, "velquin-marker: give a picture and a name\n\n%s", kUsage);
        return 2;
    }
    Picture picture;
    if (!readPicture(options.operands[0], &picture, &error)) {
        return fail(options.operands[0] + ": " + error);
    }
    if (!writeMarker(picture, options.operands[1], options, &error)) {
        return fail(error);
    }
    return 0;
}
