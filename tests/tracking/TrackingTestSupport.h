#pragma once

#include "support/ScratchDirectory.h"
#include "tracking/detection.h"
#include "tracking/framesynth.h"
#include "tracking/pattern.h"
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

// Shared helpers of the marker library's tests. The library keeps process-wide state (pattern
// table, detector camera, history); every test that uses it starts from resetLibrary().

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

inline std::vector<Ostrevan::DetectedMarker> detect(const std::vector<uint8_t>& frame, int threshold = 100,
                                                    int pixelSize = 4) {
    const Ostrevan::CameraParameters* camera = Ostrevan::detectorCamera();
    const Ostrevan::DetectedMarker* markers = nullptr;
    int count = 0;
    if (camera == nullptr ||
        frame.size() != static_cast<size_t>(camera->width) * camera->height * pixelSize ||
        !Ostrevan::detectMarkers(viewOf(frame, camera->width, camera->height, pixelSize), threshold, &markers,
                                 &count)) {
        return {};
    }
    return std::vector<Ostrevan::DetectedMarker>(markers, markers + count);
}

// Lets the history forget every marker (an entry lives three frames).
inline void forgetHistory() {
    const std::vector<uint8_t> blank(640 * 480 * 4, 220);
    for (int i = 0; i < 3; ++i) {
        detect(blank);
    }
}

// Empties the pattern table, installs the standard camera and lets the history forget
// everything (an entry lives three frames).
inline void resetLibrary(double distortionFactor = 0.0) {
    for (int slot = 0; slot < Ostrevan::kPatternSlots; ++slot) {
        Ostrevan::freePattern(slot);
    }
    Ostrevan::setDetectorCamera(FrameSynth::standardCamera(distortionFactor));
    forgetHistory();
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
