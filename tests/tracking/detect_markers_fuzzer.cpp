// Runs detection, identification, the marker history and pose estimation over arbitrary frames:
// any size up to 96 x 96, 3- or 4-byte pixels, any threshold, and pixels either raw or one bit
// each (dark or light) so that shapes form easily. Every frame is exactly as large as its size
// says: a read past its end is a finding.
#include "tracking/camera.h"
#include "tracking/detection.h"
#include "tracking/pattern.h"
#include "tracking/pose.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// One marker library for the whole fuzzing run, as a player keeps one for its life.
Ostrevan::Library& library() {
    static Ostrevan::Library instance;
    return instance;
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Two patterns in the table, so that identification has something to match.
void loadPatterns() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                             "/velquin-detect-fuzz-" + std::to_string(getpid()) + ".pat";
    for (int p = 0; p < 2; ++p) {
        std::FILE* file = std::fopen(path.c_str(), "w");
        check(file != nullptr);
        for (int i = 0; i < 3072; ++i) {
            std::fprintf(file, "%d ", ((i * (p + 3)) / 7 + (i % 16 < 4 ? 200 : 0)) % 256);
        }
        std::fclose(file);
        check(library().loadPattern(path.c_str()) == p);
    }
    std::remove(path.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    check(std::freopen("/dev/null", "w", stdout) != nullptr); // contour messages
    loadPatterns();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const int width = 1 + data[0] % 96;
    const int height = 1 + data[1] % 96;
    const int pixelSize = (data[2] & 1) != 0 ? 3 : 4;
    const bool bits = (data[2] & 2) != 0;
    const bool local = (data[2] & 4) != 0; // the local threshold of automatic mode
    const int threshold = static_cast<int>(data[3]) - 8;
    data += 4;
    size -= 4;

    const size_t bytes = static_cast<size_t>(width) * height * pixelSize;
    std::vector<uint8_t> frame(bytes);
    for (size_t i = 0; i < bytes; ++i) {
        if (bits) {
            const size_t pixel = i / pixelSize;
            const bool dark = size > 0 && ((data[(pixel / 8) % size] >> (pixel % 8)) & 1) != 0;
            frame[i] = dark ? 0 : 255;
        } else {
            frame[i] = size > 0 ? data[i % size] : 0;
        }
    }

    Ostrevan::CameraParameters camera;
    camera.width = width;
    camera.height = height;
    camera.projection[0][0] = camera.projection[1][1] = 1.5 * width;
    camera.projection[0][2] = width / 2.0;
    camera.projection[1][2] = height / 2.0;
    camera.projection[2][2] = 1.0;
    camera.distortion[0] = width / 2.0;
    camera.distortion[1] = height / 2.0;
    camera.distortion[2] = 35.0;
    camera.distortion[3] = 1.0;
    check(library().setDetectorCamera(camera));

    Ostrevan::FrameView view;
    view.pixels = frame.data();
    view.width = width;
    view.height = height;
    view.pixelSize = pixelSize;
    // Twice: the second frame meets the history of the first.
    for (int pass = 0; pass < 2; ++pass) {
        const auto detected = library().detectMarkers(view, threshold, local);
        if (!detected) {
            continue;
        }
        const Ostrevan::DetectedMarker* markers = detected->data();
        const int count = static_cast<int>(detected->size());
        check(count >= 0 && count <= Ostrevan::kMaxSquares);
        for (int i = 0; i < count; ++i) {
            const Ostrevan::DetectedMarker& m = markers[i];
            check(m.id >= -1 && m.id < Ostrevan::kPatternSlots);
            const double centre[2] = {0.0, 0.0};
            double pose[3][4];
            const double error = library().estimatePose(m, centre, 80.0, pose);
            if (error >= 0.0) {
                check(std::isfinite(pose[0][3]) && std::isfinite(pose[1][3]) && std::isfinite(pose[2][3]));
                library().estimatePoseContinuous(m, pose, centre, 80.0, pose);
            }
        }
    }
    return 0;
}
