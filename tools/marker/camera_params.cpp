// velquin-camera-params: writes a camera file (the binary camera-parameter record the player
// reads as "camera_para.dat") for an ideal camera of a given frame size and horizontal field of
// view.
#include "tracking/camera.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "usage: velquin-camera-params [--width PIXELS] [--height PIXELS] [--fov DEGREES] OUTPUT\n"
    "\n"
    "Writes the camera file of a camera that was not measured: frame size (default 640 x 480),\n"
    "square pixels, optical axis through the frame centre, the given horizontal field of view\n"
    "(default 60). The distortion factor is a mild barrel distortion, the vertical field of view x\n"
    "height / width (the value players took their field of view from before they took it from the\n"
    "focal lengths; the demo's recorded frames are made through it). velquin-calibrate measures a\n"
    "real camera.\n";

bool parseNumber(const char* text, double low, double high, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= low && v <= high)) {
        return false;
    }
    *value = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    double width = 640;
    double height = 480;
    double fov = 60;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        double* target = arg == "--width"    ? &width
                         : arg == "--height" ? &height
                         : arg == "--fov"    ? &fov
                                             : nullptr;
        if (target != nullptr) {
            const double high = target == &fov ? 170.0 : Ostrevan::kMaxFrameSide;
            if (i + 1 >= argc || !parseNumber(argv[i + 1], 1, high, target) ||
                (target != &fov && *target != std::floor(*target))) {
                std::fprintf(stderr, "velquin-camera-params: %s needs a number in 1..%g\n", arg.c_str(),
                             high);
                return 2;
            }
            ++i;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "velquin-camera-params: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else if (output == nullptr) {
            output = argv[i];
        } else {
            std::fprintf(stderr, "velquin-camera-params: more than one output file\n%s", kUsage);
            return 2;
        }
    }
    if (output == nullptr) {
        std::fprintf(stderr, "velquin-camera-params: no output file\n%s", kUsage);
        return 2;
    }
    const double halfAngle = fov / 2.0 * M_PI / 180.0;
    const double focal = width / 2.0 / std::tan(halfAngle);
    const double verticalFov = 2.0 * std::atan(height / 2.0 / focal) * 180.0 / M_PI;
    Ostrevan::CameraParameters camera;
    camera.width = static_cast<int32_t>(width);
    camera.height = static_cast<int32_t>(height);
    // Pixel i is centred on coordinate i: the frame centre lies at (width - 1) / 2.
    const double cx = (width - 1.0) / 2.0;
    const double cy = (height - 1.0) / 2.0;
    const double projection[3][4] = {{focal, 0, cx, 0}, {0, focal, cy, 0}, {0, 0, 1, 0}};
    std::memcpy(camera.projection, projection, sizeof projection);
    camera.distortion[0] = cx;
    camera.distortion[1] = cy;
    camera.distortion[2] = verticalFov * height / width;
    camera.distortion[3] = 1.0;
    if (Ostrevan::saveCameraParameters(output, camera) != 0) {
        std::fprintf(stderr, "velquin-camera-params: cannot write %s\n", output);
        return 1;
    }
    return 0;
}
