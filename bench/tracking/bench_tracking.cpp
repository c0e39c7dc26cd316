// Marker detection on synthesized 640 x 480 frames: the median time per frame of this program's
// detector (detectMarkers with pattern identification, then a pose from scratch for every
// registered pattern found) against OpenCV's ArUco detector (grey conversion, detectMarkers,
// estimatePoseSingleMarkers) on the same scenes with ArUco markers of the same size and place.
// One core. Usage: bench_tracking [repetitions]
#include "tracking/detection.h"
#include "tracking/framesynth.h"
#include "tracking/pattern.h"
#include "tracking/pose.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#if VELQUIN_BENCH_ARUCO
#include <opencv2/aruco.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 24;     // frames per set: a slow motion of the markers
constexpr double kWidth = 80.0; // marker width, the unit of the poses

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct FrameSet {
    std::string name;
    std::vector<std::vector<uint8_t>> ours;
    std::vector<std::vector<uint8_t>> aruco;
};

// Places `markers` markers moving slowly over the frames; clutter and noise per the set.
FrameSet makeSet(const std::string& name, int markers, bool noisy, bool cluttered,
                 const std::vector<FrameSynth::Image>& ourPictures,
                 const std::vector<FrameSynth::Image>& arucoPictures) {
    FrameSet set;
    set.name = name;
    std::mt19937 random(markers * 7 + (noisy ? 1 : 0) + (cluttered ? 2 : 0));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<FrameSynth::Shape> clutter;
    if (cluttered) {
        for (int i = 0; i < 40; ++i) {
            FrameSynth::Shape shape;
            shape.kind = i % 2 == 0 ? FrameSynth::Shape::Rectangle : FrameSynth::Shape::Ellipse;
            shape.centre[0] = unit(random) * 640;
            shape.centre[1] = unit(random) * 480;
            shape.size[0] = 4 + unit(random) * 60;
            shape.size[1] = 4 + unit(random) * 60;
            shape.angle = unit(random) * 3.2;
            const uint8_t shade = static_cast<uint8_t>(unit(random) * 90);
            shape.colour[0] = shape.colour[1] = shape.colour[2] = shade;
            clutter.push_back(shape);
        }
    }
    const double places[4][2] = {{-110, -70}, {110, -70}, {-110, 80}, {110, 80}};
    for (int f = 0; f < kFrames; ++f) {
        FrameSynth::Scene scene;
        scene.camera = FrameSynth::standardCamera(35.0);
        scene.seed = static_cast<unsigned>(f + 1);
        scene.supersampling = 2;
        if (noisy) {
            scene.noise = 8.0;
            scene.blur = 0.7;
        }
        if (cluttered) {
            scene.noise = 5.0;
            scene.gradient[0] = 0.3;
            scene.gradient[1] = -0.2;
            scene.clutter = clutter;
        }
        const double phase = 2.0 * M_PI * f / kFrames;
        for (int m = 0; m < markers; ++m) {
            FrameSynth::Marker marker;
            marker.width = kWidth;
            const double x = markers == 1 ? 10 * std::sin(phase) : places[m][0] + 8 * std::sin(phase + m);
            const double y = markers == 1 ? 5 * std::cos(phase) : places[m][1] + 6 * std::cos(phase + m);
            const double distance = (markers == 1 ? 450 : 600) + 40 * std::sin(phase * 2 + m);
            FrameSynth::makePose(distance, x, y, 0.3 * m + 0.2 * std::sin(phase),
                                 0.5 + 0.15 * std::cos(phase), m, marker.pose);
            scene.markers.push_back(marker);
        }
        if (cluttered && markers > 1) {
            // A hand over the last marker's corner.
            double u, v;
            FrameSynth::project(scene.camera, scene.markers.back().pose, kWidth / 2, -kWidth / 2, &u, &v);
            FrameSynth::Shape hand;
            hand.kind = FrameSynth::Shape::Ellipse;
            hand.centre[0] = u;
            hand.centre[1] = v;
            hand.size[0] = 50;
            hand.size[1] = 30;
            hand.colour[0] = 120;
            hand.colour[1] = 150;
            hand.colour[2] = 200;
            scene.occluders.push_back(hand);
        }
        for (int m = 0; m < markers; ++m) {
            scene.markers[m].picture = ourPictures[m];
            scene.markers[m].pictureFraction = 0.5;
        }
        std::vector<uint8_t> frame;
        FrameSynth::render(scene, &frame);
        set.ours.push_back(frame);
        for (int m = 0; m < markers; ++m) {
            scene.markers[m].picture = arucoPictures[m];
            scene.markers[m].pictureFraction = 1.0;
        }
        FrameSynth::render(scene, &frame);
        set.aruco.push_back(frame);
    }
    return set;
}

struct Result {
    double median = 0.0;
    double found = 0.0; // markers identified (and posed) per frame
};

Result runOurs(const FrameSet& set, int repetitions, int patterns) {
    Ostrevan::FrameView view;
    view.width = 640;
    view.height = 480;
    view.pixelSize = 4;
    std::vector<double> times;
    long posed = 0;
    for (int r = 0; r < repetitions; ++r) {
        for (const std::vector<uint8_t>& frame : set.ours) {
            view.pixels = frame.data();
            const auto start = Clock::now();
            const Ostrevan::DetectedMarker* markers = nullptr;
            int count = 0;
            Ostrevan::detectMarkers(view, 100, &markers, &count);
            // What the tracking manager does per registered pattern: the most confident
            // marker of that pattern, a pose from scratch (the expensive case).
            for (int id = 0; id < patterns; ++id) {
                int best = -1;
                for (int i = 0; i < count; ++i) {
                    if (markers[i].id == id &&
                        (best < 0 || markers[i].confidence > markers[best].confidence)) {
                        best = i;
                    }
                }
                if (best >= 0) {
                    const double centre[2] = {0.0, 0.0};
                    double pose[3][4];
                    if (Ostrevan::estimatePose(markers[best], centre, kWidth, pose) >= 0.0) {
                        ++posed;
                    }
                }
            }
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    return {median(times), static_cast<double>(posed) / (repetitions * set.ours.size())};
}

#if VELQUIN_BENCH_ARUCO
Result runAruco(const FrameSet& set, int repetitions, const cv::Ptr<cv::aruco::Dictionary>& dictionary) {
    const Ostrevan::CameraParameters camera = FrameSynth::standardCamera(35.0);
    const cv::Mat matrix = (cv::Mat_<double>(3, 3) << camera.projection[0][0], 0, camera.projection[0][2], 0,
                            camera.projection[1][1], camera.projection[1][2], 0, 0, 1);
    const cv::Mat distortion = cv::Mat::zeros(1, 5, CV_64F);
    const cv::Ptr<cv::aruco::DetectorParameters> parameters = cv::aruco::DetectorParameters::create();
    std::vector<double> times;
    long posed = 0;
    cv::Mat grey;
    for (int r = 0; r < repetitions; ++r) {
        for (const std::vector<uint8_t>& frame : set.aruco) {
            const cv::Mat bgra(480, 640, CV_8UC4, const_cast<uint8_t*>(frame.data()));
            const auto start = Clock::now();
            cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
            std::vector<std::vector<cv::Point2f>> corners;
            std::vector<int> ids;
            cv::aruco::detectMarkers(grey, dictionary, corners, ids, parameters);
            if (!ids.empty()) {
                std::vector<cv::Vec3d> rotations;
                std::vector<cv::Vec3d> translations;
                cv::aruco::estimatePoseSingleMarkers(corners, static_cast<float>(kWidth), matrix, distortion,
                                                     rotations, translations);
            }
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            posed += static_cast<long>(ids.size());
        }
    }
    return {median(times), static_cast<double>(posed) / (repetitions * set.aruco.size())};
}
#endif

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
#if VELQUIN_BENCH_ARUCO
    cv::setNumThreads(1);
    const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
#endif
    // Four patterns of our own and four ArUco markers.
    std::vector<FrameSynth::Image> ours;
    std::vector<FrameSynth::Image> aruco;
    char directory[] = "/tmp/velquin-bench-XXXXXX";
    if (mkdtemp(directory) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    Ostrevan::setDetectorCamera(FrameSynth::standardCamera(35.0));
    for (int m = 0; m < 4; ++m) {
        ours.push_back(FrameSynth::randomPicture(8, 100 + m));
        Ostrevan::SampledPattern upright;
        Ostrevan::patternOfPicture(ours.back().texels.data(), 8, 8, &upright);
        const std::string path = std::string(directory) + "/" + std::to_string(m) + ".pat";
        FILE* file = std::fopen(path.c_str(), "w");
        const std::string text = Ostrevan::patternFileOf(upright);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        if (Ostrevan::loadPattern(path.c_str()) != m) {
            std::fprintf(stderr, "cannot load %s\n", path.c_str());
            return 1;
        }
        std::remove(path.c_str());
        FrameSynth::Image picture(6, 6, 0);
#if VELQUIN_BENCH_ARUCO
        cv::Mat image;
        cv::aruco::drawMarker(dictionary, m, 6, image, 1);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 6; ++x) {
                uint8_t* t = picture.at(x, y);
                t[0] = t[1] = t[2] = image.at<uint8_t>(y, x);
            }
        }
#endif
        aruco.push_back(picture);
    }
    rmdir(directory);

    std::printf("%-22s %12s %8s %12s %8s %8s\n", "frames (640x480)", "ours ms", "found", "ArUco ms", "found",
                "ratio");
    for (int markers : {1, 4}) {
        for (int kind = 0; kind < 3; ++kind) {
            const char* kinds[] = {"clean", "noisy", "cluttered"};
            const std::string name = std::string(kinds[kind]) + ", " + std::to_string(markers) +
                                     (markers == 1 ? " marker" : " markers");
            const FrameSet set = makeSet(name, markers, kind == 1, kind == 2, ours, aruco);
            const Result mine = runOurs(set, repetitions, 4);
#if VELQUIN_BENCH_ARUCO
            const Result theirs = runAruco(set, repetitions, dictionary);
            std::printf("%-22s %12.3f %8.2f %12.3f %8.2f %7.1fx\n", name.c_str(), mine.median, mine.found,
                        theirs.median, theirs.found, theirs.median / mine.median);
#else
            std::printf("%-22s %12.3f %8.2f %12s %8s %8s\n", name.c_str(), mine.median, mine.found, "-", "-",
                        "-");
#endif
        }
    }
    return 0;
}
