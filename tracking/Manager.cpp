#include "tracking/Manager.h"

#include "tracking/detection.h"
#include "tracking/frame.h"
#include "tracking/pattern.h"
#include "tracking/pose.h"

#include <algorithm>
#include <cmath>

namespace Ostrevan {

namespace {

constexpr int kHistogramStep = 4; // pixels between the pixels counted in a row
constexpr int kHistogramRows = 8; // rows between the rows counted

// Position and quaternion of a pose [R | t], with the vector part of the quaternion of the
// opposite sign to R's own rotation (the trackers conjugate it back).
void poseToQuaternion(const double m[3][4], double q[4]) {
    const double t = 1.0 + m[0][0] + m[1][1] + m[2][2];
    if (t >= 0.0 && t > 1e-8) {
        const double root = std::sqrt(t);
        const double s = 2.0 * root;
        q[0] = root / 2.0;
        q[1] = (m[1][2] - m[2][1]) / s;
        q[2] = (m[2][0] - m[0][2]) / s;
        q[3] = (m[0][1] - m[1][0]) / s;
        return;
    }
    // A rotation of about 180 degrees: take the largest diagonal element instead, same sense.
    if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + m[0][0] - m[1][1] - m[2][2]));
        q[0] = (m[1][2] - m[2][1]) / s;
        q[1] = s / 4.0;
        q[2] = (m[0][1] + m[1][0]) / s;
        q[3] = (m[0][2] + m[2][0]) / s;
    } else if (m[1][1] >= m[2][2]) {
        const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + m[1][1] - m[0][0] - m[2][2]));
        q[0] = (m[2][0] - m[0][2]) / s;
        q[1] = (m[0][1] + m[1][0]) / s;
        q[2] = s / 4.0;
        q[3] = (m[1][2] + m[2][1]) / s;
    } else {
        const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + m[2][2] - m[0][0] - m[1][1]));
        q[0] = (m[0][1] - m[1][0]) / s;
        q[1] = (m[0][2] + m[2][0]) / s;
        q[2] = (m[1][2] + m[2][1]) / s;
        q[3] = s / 4.0;
    }
}

} // namespace

bool Manager::initialise(int width, int height, int pixelSize, const std::string& cameraFile) {
    std::vector<TargetEvent> lost;
    bool calibrated = false;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        width_ = width;
        height_ = height;
        pixelSize_ = pixelSize;
        pixelCount_ = width * height;
        if (loadCameraParameters(cameraFile.c_str(), &loaded_) == 0 &&
            scaleCameraParameters(loaded_, width, height, &scaled_) == 0) {
            library_.setDetectorCamera(scaled_);
            hasCamera_ = true;
            restartTargets(lost);
            calibrated = true;
        }
    }
    deliver(lost);
    return calibrated;
}

// A new camera (or none) makes every pose of the old one meaningless, but the targets stay
// registered: a tracker made before the camera started, or kept while the camera is switched,
// is found again in the new pictures. Markers in view are reported lost so that their actors
// hide until the new camera finds them.
void Manager::restartTargets(std::vector<TargetEvent>& events) {
    for (Record& record : records_) {
        if (record.visible) {
            record.visible = false;
            TargetEvent event;
            event.kind = TargetEvent::Kind::Lost;
            event.target = record.target;
            events.push_back(event);
        }
        record.firstPose = true;
    }
}

void Manager::finalise() {
    std::vector<TargetEvent> lost;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        restartTargets(lost);
        width_ = 0;
        height_ = 0;
        pixelSize_ = 0;
        pixelCount_ = 0;
    }
    deliver(lost);
}

double Manager::verticalFieldOfView() const {
    if (height_ <= 0) {
        return 0.0;
    }
    return static_cast<double>(static_cast<long double>(width_) * scaled_.distortion[2] / height_);
}

void Manager::registerTarget(Target* target) {
    std::lock_guard<std::mutex> hold(mutex_);
    Record record;
    record.patternId = library_.loadPattern(target->patternPath().c_str());
    record.target = target;
    records_.push_back(record);
}

void Manager::unregisterTarget(Target* target) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto record = records_.begin(); record != records_.end();) {
        if (record->target == target) {
            if (record->patternId >= 0) {
                library_.freePattern(record->patternId);
            }
            record = records_.erase(record);
        } else {
            ++record;
        }
    }
}

// Otsu's level: the grey level that best splits the histogram into two classes (the largest
// between-class variance). Where a range of levels splits it equally well (nothing lies between
// two groups of pixels), the middle of the range, so that the level sits halfway between ink and
// paper. Every fourth pixel of every eighth row is counted (9600 of a VGA frame): the
// histogram's shape needs no more, and the level is only reported, the pixels being binarised
// locally.
int Manager::automaticThreshold(const unsigned char* pixels) {
    std::fill(std::begin(counts_), std::end(counts_), 0);
    int counted = 0;
    for (int y = 0; y < height_; y += kHistogramRows) {
        const unsigned char* pixel = pixels + static_cast<long>(y) * width_ * pixelSize_;
        const long step = static_cast<long>(kHistogramStep) * pixelSize_;
        for (int x = 0; x < width_; x += kHistogramStep, pixel += step) {
            ++counts_[(pixel[0] + pixel[1] + pixel[2]) / 3];
        }
        counted += (width_ + kHistogramStep - 1) / kHistogramStep;
    }
    if (counted == 0) {
        return 0;
    }
    const float scale = 1.0f / static_cast<float>(counted);
    float meanTotal = 0.0f;
    for (int i = 0; i < 256; ++i) {
        probabilities_[i] = static_cast<float>(counts_[i]) * scale;
        meanTotal += static_cast<float>(i + 1) * probabilities_[i];
    }
    float best = 0.0f;
    int first = -1;
    int last = -1;
    float omega = 0.0f;
    float mu = 0.0f;
    for (int k = 0; k < 256; ++k) {
        omega += probabilities_[k];
        mu += static_cast<float>(k + 1) * probabilities_[k];
        // Where every pixel lies on one side the criterion is undefined: such levels are skipped.
        if (omega <= 0.0f || omega >= 1.0f - 1e-6f) {
            continue;
        }
        const float between = meanTotal * omega - mu;
        const float variance = between * between / (omega * (1.0f - omega));
        if (variance > best * (1.0f + 1e-5f)) {
            best = variance;
            first = k;
            last = k;
        } else if (first >= 0 && variance >= best * (1.0f - 1e-5f)) {
            last = k;
        }
    }
    return first < 0 ? 0 : (first + last) / 2;
}

void Manager::processFrame(const unsigned char* pixels) {
    std::vector<TargetEvent> events;
    processFrame(pixels, frameWidth(), frameHeight(), events);
    deliver(events);
}

void Manager::processFrame(const unsigned char* pixels, int width, int height,
                           std::vector<TargetEvent>& events) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (pixels == nullptr || pixelCount_ <= 0 || width != width_ || height != height_) {
        return; // not initialised for this frame's size (or finalised while it was on its way)
    }
    // Automatic mode binarises each part of the frame against its own surroundings, which
    // holds under uneven light and with grey ink; the reported threshold is the frame's Otsu
    // level, a representative grey level of the same split.
    if (automatic) {
        threshold = automaticThreshold(pixels);
    }
    FrameView frame;
    frame.pixels = pixels;
    frame.width = width_;
    frame.height = height_;
    frame.pixelSize = pixelSize_;
    const std::optional<std::vector<DetectedMarker>> markers =
        library_.detectMarkers(frame, threshold, automatic);
    if (!markers) {
        return;
    }
    for (Record& record : records_) {
        step(record, markers->data(), static_cast<int>(markers->size()), events);
    }
}

bool Manager::isRegistered(const Target* target) const {
    for (const Record& record : records_) {
        if (record.target == target) {
            return true;
        }
    }
    return false;
}

void Manager::deliver(const std::vector<TargetEvent>& events) {
    for (const TargetEvent& event : events) {
        std::vector<TargetListener*> listeners;
        {
            // A target unregistered since its frame (its tracker destroyed) hears nothing more.
            std::lock_guard<std::mutex> hold(mutex_);
            if (!isRegistered(event.target)) {
                continue;
            }
            listeners.assign(event.target->listeners().begin(), event.target->listeners().end());
        }
        for (TargetListener* listener : listeners) {
            switch (event.kind) {
            case TargetEvent::Kind::Lost:
                listener->lost();
                break;
            case TargetEvent::Kind::Found:
                listener->found();
                break;
            case TargetEvent::Kind::Moved:
                listener->moved(event.position[0], event.position[1], event.position[2], event.orientation[0],
                                event.orientation[1], event.orientation[2], event.orientation[3]);
                break;
            }
        }
    }
}

void Manager::setThresholdMode(bool automaticMode, int level) {
    std::lock_guard<std::mutex> hold(mutex_);
    automatic = automaticMode;
    threshold = level;
}

void Manager::setThresholdMode(bool automaticMode) {
    std::lock_guard<std::mutex> hold(mutex_);
    automatic = automaticMode;
}

int Manager::thresholdInUse() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return threshold;
}

bool Manager::automaticInUse() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return automatic;
}

void Manager::step(Record& record, const DetectedMarker* markers, int count,
                   std::vector<TargetEvent>& events) {
    const DetectedMarker* best = nullptr;
    // A target whose pattern did not load never claims the unidentified squares (id -1 too).
    if (record.patternId >= 0) {
        for (int i = 0; i < count; ++i) {
            if (markers[i].id == record.patternId &&
                (best == nullptr || markers[i].confidence > best->confidence)) {
                best = &markers[i];
            }
        }
    }
    TargetEvent event;
    event.target = record.target;
    if (best == nullptr) {
        if (record.visible) {
            record.visible = false;
            event.kind = TargetEvent::Kind::Lost;
            events.push_back(event);
        }
        record.firstPose = true;
        return;
    }
    if (!record.visible) {
        record.visible = true;
        event.kind = TargetEvent::Kind::Found;
        events.push_back(event); // found comes before the first moved of the same frame
    }
    const double width = static_cast<double>(record.target->width());
    double error = -1.0;
    if (record.firstPose) {
        error = library_.estimatePose(*best, record.patternCentre, width, record.lastPose);
    } else {
        double previous[3][4];
        std::copy(&record.lastPose[0][0], &record.lastPose[0][0] + 12, &previous[0][0]);
        error =
            library_.estimatePoseContinuous(*best, previous, record.patternCentre, width, record.lastPose);
    }
    // Without a pose there is nothing to hand on; the next frame starts from scratch again.
    if (error < 0.0) {
        record.firstPose = true;
        return;
    }
    record.firstPose = false;
    event.kind = TargetEvent::Kind::Moved;
    for (int i = 0; i < 3; ++i) {
        event.position[i] = record.lastPose[i][3];
    }
    poseToQuaternion(record.lastPose, event.orientation);
    events.push_back(event);
}

} // namespace Ostrevan
