#pragma once

#include "support/ScratchDirectory.h"
#include "tracking/detection.h"
#include "tracking/framesynth.h"
#include "tracking/pattern.h"
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Shared helpers of the marker library's tests. Each test case makes its own library (pattern
// table, detector camera, history), so nothing carries over from one case to the next.

namespace TrackingTest {

// Writes the pattern file of an upright picture and returns its path.
inline std::string writePatternFile(const ScratchDirectory& dir, const std::string& name,
                                    const FrameSynth::Image& picture) {
    Ostrevan::SampledPattern upright;
    Ostrevan::patternOfPicture(picture.texels.data(), picture.width, picture.height, &upright);
    return dir.write(name, Ostrevan::patternFileOf(upright));
}

inline Ostrevan::FrameView viewOf(const std::vector<uint8_t>& pixels, int width, int height,
                                  int pixelSize = 4) {
    Ostrevan::FrameView view;
    view.pixels = pixels.data();
    view.width = width;
    view.height = height;
    view.pixelSize = pixelSize;
    return view;
}

inline std::vector<Ostrevan::DetectedMarker> detect(Ostrevan::Library& library,
                                                    const std::vector<uint8_t>& frame, int threshold = 100,
                                                    int pixelSize = 4, bool local = false) {
    const Ostrevan::CameraParameters* camera = library.detectorCamera();
    if (camera == nullptr ||
        frame.size() != static_cast<size_t>(camera->width) * camera->height * pixelSize) {
        return {};
    }
    const std::optional<std::vector<Ostrevan::DetectedMarker>> markers =
        library.detectMarkers(viewOf(frame, camera->width, camera->height, pixelSize), threshold, local);
    return markers ? *markers : std::vector<Ostrevan::DetectedMarker>();
}

// Lets the history forget every marker (an entry lives three frames).
inline void forgetHistory(Ostrevan::Library& library) {
    const std::vector<uint8_t> blank(640 * 480 * 4, 220);
    for (int i = 0; i < 3; ++i) {
        detect(library, blank);
    }
}

// A library with the standard camera installed.
inline std::unique_ptr<Ostrevan::Library> makeLibrary(double distortionFactor = 0.0) {
    auto library = std::make_unique<Ostrevan::Library>();
    library->setDetectorCamera(FrameSynth::standardCamera(distortionFactor));
    return library;
}

// A 640 x 480 frame of light background with dark rectangles drawn straight into it.
class BinaryFrame {
public:
    explicit BinaryFrame(int width = 640, int height = 480)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height * 4, 230) {}
    void fill(int x0, int y0, int w, int h, uint8_t value = 10) {
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                set(x, y, value);
            }
        }
    }
    void set(int x, int y, uint8_t value) {
        uint8_t* p = &pixels_[(static_cast<size_t>(y) * width_ + x) * 4];
        p[0] = p[1] = p[2] = value;
    }
    Ostrevan::FrameView view() const { return viewOf(pixels_, width_, height_); }
    const std::vector<uint8_t>& pixels() const { return pixels_; }

private:
    int width_;
    int height_;
    std::vector<uint8_t> pixels_;
};

// Captures what the library prints on standard output while `action` runs.
template <typename Action> std::string stdoutOf(Action action) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    action();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

} // namespace TrackingTest
