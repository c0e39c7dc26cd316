// Feeds arbitrary bytes to the camera file loader as a file. Records it accepts are then used
// the whole way: scaled, installed as the detector camera, and run through the distortion model,
// detection of a frame with a marker-like square, and pose estimation. A second pass forces a
// usable frame size into the record so that arbitrary projection and distortion values reach
// that code too.
#include "tracking/camera.h"
#include "tracking/detection.h"
#include "tracking/pose.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// One marker library for the whole fuzzing run, as a player keeps one for its life.
Ostrevan::Library& library() {
    static Ostrevan::Library instance;
    return instance;
}

// Stops the run on a broken promise, naming the line that found it.
void checkAt(bool condition, int line) {
    if (!condition) {
        std::fprintf(stderr, "camera_file_fuzzer.cpp:%d: check failed\n", line);
        std::abort();
    }
}
#define check(condition) checkAt((condition), __LINE__)

std::string scratchFile() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velquin-camera-fuzz-" +
           std::to_string(getpid()) + ".dat";
}

bool load(const uint8_t* data, size_t size, Ostrevan::CameraParameters* camera) {
    static const std::string path = scratchFile();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    check(file != nullptr);
    check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    const bool loaded = Ostrevan::loadCameraParameters(path.c_str(), camera) == 0;
    std::remove(path.c_str());
    return loaded;
}

void use(const Ostrevan::CameraParameters& loaded) {
    check(Ostrevan::cameraIsUsable(loaded));
    Ostrevan::CameraParameters camera;
    check(Ostrevan::scaleCameraParameters(loaded, 48, 40, &camera) == 0);
    double x;
    double y;
    Ostrevan::observedToIdeal(camera.distortion, 3.0, 7.0, &x, &y);
    Ostrevan::idealToObserved(camera.distortion, x, y, &x, &y);
    if (!library().setDetectorCamera(camera)) {
        return; // scaling can make values infinite
    }
    // A dark square with a light hole, well inside the frame.
    std::vector<uint8_t> frame(48 * 40 * 4, 220);
    for (int row = 8; row < 32; ++row) {
        for (int column = 10; column < 34; ++column) {
            const bool hole = row >= 14 && row < 26 && column >= 16 && column < 28;
            std::memset(&frame[(row * 48 + column) * 4], hole ? 200 : 10, 3);
        }
    }
    Ostrevan::FrameView view;
    view.pixels = frame.data();
    view.width = 48;
    view.height = 40;
    const auto detected = library().detectMarkers(view, 100);
    if (!detected) {
        return;
    }
    const Ostrevan::DetectedMarker* markers = detected->data();
    const int count = static_cast<int>(detected->size());
    check(count >= 0 && count <= Ostrevan::kMaxSquares);
    for (int i = 0; i < count; ++i) {
        Ostrevan::DetectedMarker marker = markers[i];
        marker.direction = i % 4;
        const double centre[2] = {0.0, 0.0};
        double pose[3][4];
        const double error = library().estimatePose(marker, centre, 80.0, pose);
        check(error == -1.0 || (error >= 0.0 && std::isfinite(pose[2][3])));
        if (error >= 0.0) {
            library().estimatePoseContinuous(marker, pose, centre, 80.0, pose);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Ostrevan::CameraParameters camera;
    if (load(data, size, &camera)) {
        check(size >= static_cast<size_t>(Ostrevan::kCameraFileSize));
        use(camera);
    }
    if (size >= static_cast<size_t>(Ostrevan::kCameraFileSize)) {
        // The same record with a plausible size.
        std::vector<uint8_t> patched(data, data + size);
        const uint8_t width[4] = {0, 0, 2, 128};  // 640
        const uint8_t height[4] = {0, 0, 1, 224}; // 480
        std::memcpy(&patched[0], width, 4);
        std::memcpy(&patched[4], height, 4);
        if (load(patched.data(), patched.size(), &camera)) {
            use(camera);
        }
    }
    return 0;
}
