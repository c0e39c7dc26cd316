// Marker detection on synthesized 640 x 480 frames, side by side with OpenCV's ArUco detector on
// the same scenes (each scene rendered once with a pattern marker of this program and once with
// an ArUco DICT_4X4_50 marker of the same size and place, under the same camera with lens
// distortion). Per condition: detection rate, false positives, pose error and median processor
// time of the thread per frame. This program's detector runs with the fixed threshold 100
// ("manual") and in automatic mode ("auto"); times and pose errors are those of automatic mode.
// ArUco gets its corners freed of lens distortion with the camera's own model before its pose,
// so that both poses see the same ideal camera. One core. Usage: bench_tracking [frames per
// level [condition]], the condition being part of a row's name ("clean", "side 20") to run only
// those rows. Besides the synthetic conditions: a fingertip (skin or dark) over a corner, a marker
// among 50 dark squares, close-ups of 400 pixels at 640 x 480 and 540 pixels at 1920 x 1080 (the
// whole square in the picture), and markers printed into 26 photographs of Debian's opencv-doc
// (scripts/install-deps.sh --bench), lit by each photograph's own light with a shadow edge along
// or across the black border; per photograph and all together.
#include "tracking/Manager.h"
#include "tracking/camera.h"
#include "tracking/detection.h"
#include "tracking/framesynth.h"
#include "tracking/pattern.h"
#include "tracking/pose.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#if VELQUIN_BENCH_ARUCO
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// Processor time of this thread, in milliseconds: on a machine shared with other work, time
// spent waiting for a core is not the detector's.
double threadMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec * 1e-6;
}

constexpr double kWidth = 80.0;      // marker width, the unit of the poses
constexpr double kDistortion = 35.0; // the camera file's distortion factor

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One rendered scene twice over, with what is in it.
struct Frame {
    int width = 640;
    int height = 480;
    std::vector<uint8_t> ours;
    std::vector<uint8_t> aruco;
    std::vector<int> ids;                       // marker ids, the same for both renderings
    std::vector<std::array<double, 12>> poses;  // true poses, row-major 3 x 4
    std::vector<std::array<double, 2>> centres; // where each marker's centre appears
    std::vector<double> sides;                  // apparent side in pixels
};

struct FrameSet {
    std::string name;
    std::vector<Frame> frames;
    bool summary = false; // a total over the sets above it, printed after a rule
};

struct Counts {
    long markers = 0;           // markers in the frames
    long found = 0;             // found with the right identity at the right place
    long falsePositive = 0;     // identified markers that are not there
    double positionError = 0.0; // sum of |t - t_true| / |t_true|
    double rotationError = 0.0; // sum of degrees
    double worstPosition = 0.0;
    long posed = 0;
    std::vector<double> times;
};

double rotationAngle(const double a[3][3], const double b[3][3]) {
    double trace = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) {
            trace += a[k][i] * b[k][i];
        }
    }
    return std::acos(std::clamp((trace - 1.0) / 2.0, -1.0, 1.0)) * 180.0 / M_PI;
}

// Scores one marker's pose against the truth.
void scorePose(Counts& counts, const std::array<double, 12>& truth, const double pose[3][4]) {
    double truthR[3][3];
    double poseR[3][3];
    double error = 0.0;
    double distance = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) {
            truthR[i][k] = truth[i * 4 + k];
            poseR[i][k] = pose[i][k];
        }
        error += (pose[i][3] - truth[i * 4 + 3]) * (pose[i][3] - truth[i * 4 + 3]);
        distance += truth[i * 4 + 3] * truth[i * 4 + 3];
    }
    const double relative = std::sqrt(error / distance);
    counts.positionError += relative;
    counts.worstPosition = std::max(counts.worstPosition, relative);
    counts.rotationError += rotationAngle(truthR, poseR);
    ++counts.posed;
}

// Whether a reported marker centre stands for the true marker.
bool near(const Frame& frame, size_t m, double x, double y) {
    const double dx = x - frame.centres[m][0];
    const double dy = y - frame.centres[m][1];
    const double reach = std::max(3.0, frame.sides[m] / 2.0);
    return dx * dx + dy * dy < reach * reach;
}

// This program's detector over one frame: markers, then a pose from scratch for every pattern.
struct Detector {
    Ostrevan::Manager* manager; // for its automatic threshold
    Ostrevan::Library* library;
};

struct Ours {
    Detector small; // 640 x 480
    Detector large; // 1920 x 1080
    bool automatic;

    void run(const Frame& frame, Counts& counts) const {
        const Detector& detector = frame.width == 640 ? small : large;
        Ostrevan::Manager* manager = detector.manager;
        Ostrevan::Library* library = detector.library;
        Ostrevan::FrameView view;
        view.pixels = frame.ours.data();
        view.width = frame.width;
        view.height = frame.height;
        view.pixelSize = 4;
        const double start = threadMilliseconds();
        const int threshold = automatic ? manager->automaticThreshold(view.pixels) : 100;
        const std::vector<Ostrevan::DetectedMarker> detected =
            library->detectMarkers(view, threshold, automatic)
                .value_or(std::vector<Ostrevan::DetectedMarker>());
        const Ostrevan::DetectedMarker* markers = detected.data();
        const int count = static_cast<int>(detected.size());
        double poses[4][3][4];
        bool posed[4] = {};
        int best[4] = {-1, -1, -1, -1};
        for (int i = 0; i < count; ++i) {
            const int id = markers[i].id;
            if (id >= 0 && id < 4 && (best[id] < 0 || markers[i].confidence > markers[best[id]].confidence)) {
                best[id] = i;
            }
        }
        for (int id = 0; id < 4; ++id) {
            if (best[id] >= 0) {
                const double centre[2] = {0.0, 0.0};
                posed[id] = library->estimatePose(markers[best[id]], centre, kWidth, poses[id]) >= 0.0;
            }
        }
        counts.times.push_back(threadMilliseconds() - start);
        std::vector<bool> claimed(frame.ids.size(), false);
        for (int i = 0; i < count; ++i) {
            if (markers[i].id < 0) {
                continue;
            }
            bool real = false;
            for (size_t m = 0; m < frame.ids.size(); ++m) {
                if (frame.ids[m] == markers[i].id &&
                    near(frame, m, markers[i].centre[0], markers[i].centre[1])) {
                    real = true;
                    if (!claimed[m] && best[markers[i].id] == i) {
                        claimed[m] = true;
                        ++counts.found;
                        if (posed[markers[i].id]) {
                            scorePose(counts, frame.poses[m], poses[markers[i].id]);
                        }
                    }
                }
            }
            counts.falsePositive += real ? 0 : 1;
        }
        counts.markers += static_cast<long>(frame.ids.size());
    }
};

#if VELQUIN_BENCH_ARUCO
struct Aruco {
    cv::Ptr<cv::aruco::Dictionary> dictionary;
    cv::Ptr<cv::aruco::DetectorParameters> parameters = cv::aruco::DetectorParameters::create();
    Ostrevan::CameraParameters smallCamera;
    Ostrevan::CameraParameters largeCamera;

    void run(const Frame& frame, Counts& counts) const {
        const Ostrevan::CameraParameters& camera = frame.width == 640 ? smallCamera : largeCamera;
        const cv::Mat matrix = (cv::Mat_<double>(3, 3) << camera.projection[0][0], 0, camera.projection[0][2],
                                0, camera.projection[1][1], camera.projection[1][2], 0, 0, 1);
        const cv::Mat noDistortion = cv::Mat::zeros(1, 5, CV_64F);
        const cv::Mat bgra(frame.height, frame.width, CV_8UC4, const_cast<uint8_t*>(frame.aruco.data()));
        const double start = threadMilliseconds();
        cv::Mat grey;
        cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
        std::vector<std::vector<cv::Point2f>> corners;
        std::vector<int> ids;
        cv::aruco::detectMarkers(grey, dictionary, corners, ids, parameters);
        std::vector<cv::Vec3d> rotations;
        std::vector<cv::Vec3d> translations;
        if (!ids.empty()) {
            std::vector<std::vector<cv::Point2f>> ideal = corners;
            for (auto& marker : ideal) {
                for (auto& point : marker) {
                    double x, y;
                    Ostrevan::observedToIdeal(camera.distortion, point.x, point.y, &x, &y);
                    point = cv::Point2f(static_cast<float>(x), static_cast<float>(y));
                }
            }
            cv::aruco::estimatePoseSingleMarkers(ideal, static_cast<float>(kWidth), matrix, noDistortion,
                                                 rotations, translations);
        }
        counts.times.push_back(threadMilliseconds() - start);
        std::vector<bool> claimed(frame.ids.size(), false);
        for (size_t i = 0; i < ids.size(); ++i) {
            double cx = 0.0, cy = 0.0;
            for (const auto& point : corners[i]) {
                cx += point.x / 4.0;
                cy += point.y / 4.0;
            }
            bool real = false;
            for (size_t m = 0; m < frame.ids.size(); ++m) {
                if (frame.ids[m] == ids[i] && near(frame, m, cx, cy)) {
                    real = true;
                    if (!claimed[m]) {
                        claimed[m] = true;
                        ++counts.found;
                        cv::Mat r;
                        cv::Rodrigues(rotations[i], r);
                        double pose[3][4];
                        for (int a = 0; a < 3; ++a) {
                            for (int b = 0; b < 3; ++b) {
                                pose[a][b] = r.at<double>(a, b);
                            }
                            pose[a][3] = translations[i][a];
                        }
                        scorePose(counts, frame.poses[m], pose);
                    }
                }
            }
            counts.falsePositive += real ? 0 : 1;
        }
        counts.markers += static_cast<long>(frame.ids.size());
    }
};
#endif

struct Pictures {
    std::vector<FrameSynth::Image> ours;
    std::vector<FrameSynth::Image> aruco;
};

// One frame: the scene made by `setUp` (camera, markers with poses), rendered with both kinds of
// marker; `after` changes the rendered frames (JPEG).
Frame renderFrame(FrameSynth::Scene scene, const Pictures& pictures, int jpegQuality) {
    Frame frame;
    frame.width = scene.camera.width;
    frame.height = scene.camera.height;
    for (size_t m = 0; m < scene.markers.size(); ++m) {
        FrameSynth::Marker& marker = scene.markers[m];
        frame.ids.push_back(static_cast<int>(m));
        std::array<double, 12> pose;
        for (int i = 0; i < 12; ++i) {
            pose[i] = marker.pose[i / 4][i % 4];
        }
        frame.poses.push_back(pose);
        double u, v;
        FrameSynth::project(scene.camera, marker.pose, 0.0, 0.0, &u, &v);
        frame.centres.push_back({u, v});
        frame.sides.push_back(FrameSynth::apparentSide(scene.camera, marker));
        marker.picture = pictures.ours[m];
        marker.pictureFraction = 0.5;
    }
    FrameSynth::render(scene, &frame.ours);
    for (size_t m = 0; m < scene.markers.size(); ++m) {
        scene.markers[m].picture = pictures.aruco[m];
        scene.markers[m].pictureFraction = 1.0;
    }
    FrameSynth::render(scene, &frame.aruco);
    if (jpegQuality > 0) {
        FrameSynth::jpegRoundTrip(&frame.ours, frame.width, frame.height, 4, jpegQuality);
        FrameSynth::jpegRoundTrip(&frame.aruco, frame.width, frame.height, 4, jpegQuality);
    }
    return frame;
}

// The standard camera's lens at 1920 x 1080: the same field of view across, centred.
Ostrevan::CameraParameters largeCamera() {
    Ostrevan::CameraParameters camera = FrameSynth::standardCamera(kDistortion);
    camera.width = 1920;
    camera.height = 1080;
    camera.projection[0][0] *= 3.0;
    camera.projection[1][1] *= 3.0;
    camera.projection[0][2] = 959.5;
    camera.projection[1][2] = 539.5;
    camera.distortion[0] = 959.5;
    camera.distortion[1] = 539.5;
    camera.distortion[2] = kDistortion / 9.0;
    return camera;
}

// Distance at which a marker of kWidth appears `side` pixels wide, face on.
double distanceForSide(double side) {
    const double focal = FrameSynth::standardCamera().projection[0][0];
    return focal * kWidth / side;
}

// A single marker in a random pose: turned in its plane, tilted up to 0.5 rad, near (x, y)
// pixels from the frame centre.
FrameSynth::Marker randomMarker(std::mt19937& random, double distance, double px, double py) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    FrameSynth::Marker marker;
    marker.width = kWidth;
    const double focal = FrameSynth::standardCamera().projection[0][0];
    const double x = (px + (unit(random) - 0.5) * 20.0) * distance / focal;
    const double y = (py + (unit(random) - 0.5) * 20.0) * distance / focal;
    FrameSynth::makePose(distance, x, y, unit(random) * 2.0 * M_PI, unit(random) * 0.5, unit(random) * M_PI,
                         marker.pose);
    return marker;
}

// Whether the whole black square lies in the frame, clear of its two outermost rows and
// columns: a close-up 400 pixels wide turned a little fills 480 rows, and a square cut by the
// frame's edge shows no four corners.
bool wholeInView(const Ostrevan::CameraParameters& camera, const FrameSynth::Marker& marker) {
    const double ends[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    for (const auto& end : ends) {
        double u, v;
        FrameSynth::project(camera, marker.pose, end[0] * marker.width / 2, end[1] * marker.width / 2, &u,
                            &v);
        if (!(u >= 3.0 && v >= 3.0 && u <= camera.width - 4.0 && v <= camera.height - 4.0)) {
            return false;
        }
    }
    return true;
}

using Condition = std::function<void(FrameSynth::Scene&, std::mt19937&)>;

// The part of the row names to run; empty for all.
std::string& only() {
    static std::string text;
    return text;
}

FrameSet makeSet(const std::string& name, int frames, const Pictures& pictures, const Condition& condition,
                 int jpegQuality = 0) {
    FrameSet set;
    set.name = name;
    if (name.find(only()) == std::string::npos) {
        return set; // not asked for: not rendered
    }
    std::mt19937 random(static_cast<unsigned>(std::hash<std::string>()(name)));
    for (int f = 0; f < frames; ++f) {
        FrameSynth::Scene scene;
        scene.camera = FrameSynth::standardCamera(kDistortion);
        scene.seed = static_cast<unsigned>(f + 1);
        scene.supersampling = 3;
        condition(scene, random);
        set.frames.push_back(renderFrame(scene, pictures, jpegQuality));
    }
    return set;
}

#if VELQUIN_BENCH_ARUCO
// A photograph scaled and cut to fill 640 x 480, as B, G, R, A; empty when it cannot be read.
std::vector<uint8_t> loadPhoto(const std::string& path) {
    const cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR);
    if (picture.empty()) {
        return {};
    }
    const double scale = std::max(640.0 / picture.cols, 480.0 / picture.rows);
    cv::Mat scaled;
    cv::resize(picture, scaled, cv::Size(), scale, scale, cv::INTER_AREA);
    const cv::Mat cut = scaled(cv::Rect((scaled.cols - 640) / 2, (scaled.rows - 480) / 2, 640, 480));
    cv::Mat bgra;
    cv::cvtColor(cut, bgra, cv::COLOR_BGR2BGRA);
    return std::vector<uint8_t>(bgra.data, bgra.data + 640 * 480 * 4);
}

// The light that falls on a white sheet at each place of a photograph: what the surfaces around
// reflect, brightened as paper is brighter than most of them, per colour.
std::vector<float> lightOf(const std::vector<uint8_t>& photo) {
    const cv::Mat bgra(480, 640, CV_8UC4, const_cast<uint8_t*>(photo.data()));
    cv::Mat blurred;
    cv::GaussianBlur(bgra, blurred, cv::Size(0, 0), 12.0);
    std::vector<float> light(640 * 480 * 3);
    for (size_t i = 0; i < 640 * 480; ++i) {
        for (int k = 0; k < 3; ++k) {
            light[i * 3 + k] = std::clamp(blurred.data[i * 4 + k] * 1.6f, 45.0f, 255.0f);
        }
    }
    return light;
}

// Light left by the scene's shadow at a place: as the synthesizer's light fall.
double shadowAt(const FrameSynth::Scene::LightFall& light, double x, double y) {
    const double ax = light.to[0] - light.from[0];
    const double ay = light.to[1] - light.from[1];
    const double length = ax * ax + ay * ay;
    const double t = length > 0.0 ? ((x - light.from[0]) * ax + (y - light.from[1]) * ay) / length : 1.0;
    return 1.0 - light.fall * std::clamp(t, 0.0, 1.0);
}

// The scene's printed sheet put into a photograph: paper and ink reflect the photograph's own
// light there, the shadow falls on sheet and photograph alike, then camera noise and JPEG.
Frame photoFrame(FrameSynth::Scene scene, const Pictures& pictures, const std::vector<uint8_t>& photo,
                 const std::vector<float>& light) {
    scene.background[0] = scene.background[1] = scene.background[2] = 255;
    scene.noise = 0.0;
    Frame frame = renderFrame(scene, pictures, 0);
    // Where the sheet is: the same scene with everything printed white on black, in full light.
    FrameSynth::Scene sheet = scene;
    sheet.background[0] = sheet.background[1] = sheet.background[2] = 0;
    sheet.lightFall.fall = 0.0;
    for (FrameSynth::Marker& marker : sheet.markers) {
        marker.ink = 255.0;
    }
    std::vector<uint8_t> coverage;
    FrameSynth::render(sheet, &coverage);
    std::mt19937 random(scene.seed * 7919u);
    std::normal_distribution<float> noise(0.0f, 2.5f);
    for (std::vector<uint8_t>* pixels : {&frame.ours, &frame.aruco}) {
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                const size_t i = static_cast<size_t>(y) * 640 + x;
                const float alpha = coverage[i * 4] / 255.0f;
                const float shade = static_cast<float>(shadowAt(scene.lightFall, x, y));
                for (int k = 0; k < 3; ++k) {
                    const float printed = (*pixels)[i * 4 + k] / 255.0f * light[i * 3 + k];
                    const float value =
                        alpha * printed + (1.0f - alpha) * photo[i * 4 + k] * shade + noise(random);
                    (*pixels)[i * 4 + k] = static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
                }
            }
        }
        FrameSynth::jpegRoundTrip(pixels, 640, 480, 4, 90);
    }
    return frame;
}

// Frames of one photograph, each with a marker somewhere on it and a shadow edge along or across
// one side of its black border: the paper beside the border shaded and the ink lit, or the other
// way round.
FrameSet makePhotoSet(const std::string& name, const std::string& path, int frames,
                      const Pictures& pictures) {
    FrameSet set;
    set.name = name;
    if (name.find(only()) == std::string::npos &&
        std::string("real photographs").find(only()) == std::string::npos) {
        return set;
    }
    const std::vector<uint8_t> photo = loadPhoto(path);
    if (photo.empty()) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return set;
    }
    const std::vector<float> light = lightOf(photo);
    std::mt19937 random(static_cast<unsigned>(std::hash<std::string>()(name)));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int f = 0; f < frames; ++f) {
        FrameSynth::Scene scene;
        scene.camera = FrameSynth::standardCamera(kDistortion);
        scene.seed = static_cast<unsigned>(f + 1);
        scene.supersampling = 3;
        const double distance = 380.0 + unit(random) * 350.0;
        scene.markers.push_back(
            randomMarker(random, distance, (unit(random) - 0.5) * 400.0, (unit(random) - 0.5) * 260.0));
        const FrameSynth::Marker& marker = scene.markers[0];
        // The side the shadow follows, its ends in the frame and the normal pointing outwards.
        const int side = static_cast<int>(unit(random) * 4.0) % 4;
        const double ends[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
        double u0, v0, u1, v1, uc, vc;
        FrameSynth::project(scene.camera, marker.pose, ends[side][0] * kWidth / 2, ends[side][1] * kWidth / 2,
                            &u0, &v0);
        FrameSynth::project(scene.camera, marker.pose, ends[(side + 1) % 4][0] * kWidth / 2,
                            ends[(side + 1) % 4][1] * kWidth / 2, &u1, &v1);
        FrameSynth::project(scene.camera, marker.pose, 0.0, 0.0, &uc, &vc);
        const double length = std::hypot(u1 - u0, v1 - v0);
        double nx = (v1 - v0) / length;
        double ny = -(u1 - u0) / length;
        if ((u0 - uc) * nx + (v0 - vc) * ny < 0.0) {
            nx = -nx;
            ny = -ny;
        }
        // Turned by up to 8 degrees from the side, from a tenth inside the border to a fifth
        // of the side outside it.
        const double turn = (unit(random) - 0.5) * 0.28;
        const double tx = nx * std::cos(turn) - ny * std::sin(turn);
        const double ty = nx * std::sin(turn) + ny * std::cos(turn);
        const double offset = (unit(random) * 0.3 - 0.1) * length;
        const double ex = (u0 + u1) / 2 + nx * offset;
        const double ey = (v0 + v1) / 2 + ny * offset;
        const double penumbra = 1.5 + unit(random) * 5.0;
        const double towards = unit(random) < 0.6 ? 1.0 : -1.0; // shadow outside the border, or on it
        scene.lightFall.from[0] = ex - towards * tx * penumbra / 2;
        scene.lightFall.from[1] = ey - towards * ty * penumbra / 2;
        scene.lightFall.to[0] = ex + towards * tx * penumbra / 2;
        scene.lightFall.to[1] = ey + towards * ty * penumbra / 2;
        scene.lightFall.fall = 0.35 + unit(random) * 0.3;
        set.frames.push_back(photoFrame(scene, pictures, photo, light));
    }
    return set;
}
#endif

// The old timing sets: 1 or 4 markers moving slowly; clean, noisy or cluttered with a hand over
// a corner.
FrameSet makeTimingSet(const std::string& name, int markers, int kind, int frames, const Pictures& pictures) {
    std::mt19937 clutterRandom(markers * 7 + kind);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<FrameSynth::Shape> clutter;
    if (kind == 2) {
        for (int i = 0; i < 40; ++i) {
            FrameSynth::Shape shape;
            shape.kind = i % 2 == 0 ? FrameSynth::Shape::Rectangle : FrameSynth::Shape::Ellipse;
            shape.centre[0] = unit(clutterRandom) * 640;
            shape.centre[1] = unit(clutterRandom) * 480;
            shape.size[0] = 4 + unit(clutterRandom) * 60;
            shape.size[1] = 4 + unit(clutterRandom) * 60;
            shape.angle = unit(clutterRandom) * 3.2;
            const uint8_t shade = static_cast<uint8_t>(unit(clutterRandom) * 90);
            shape.colour[0] = shape.colour[1] = shape.colour[2] = shade;
            clutter.push_back(shape);
        }
    }
    int f = 0;
    return makeSet(name, frames, pictures, [&](FrameSynth::Scene& scene, std::mt19937&) {
        const double places[4][2] = {{-110, -70}, {110, -70}, {-110, 80}, {110, 80}};
        scene.supersampling = 2;
        if (kind == 1) {
            scene.noise = 8.0;
            scene.blur = 0.7;
        }
        if (kind == 2) {
            scene.noise = 5.0;
            scene.gradient[0] = 0.3;
            scene.gradient[1] = -0.2;
            scene.clutter = clutter;
        }
        const double phase = 2.0 * M_PI * f / frames;
        ++f;
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
        if (kind == 2 && markers > 1) {
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
    });
}

void add(Counts& total, const Counts& part) {
    total.markers += part.markers;
    total.found += part.found;
    total.falsePositive += part.falsePositive;
    total.positionError += part.positionError;
    total.rotationError += part.rotationError;
    total.worstPosition = std::max(total.worstPosition, part.worstPosition);
    total.posed += part.posed;
    total.times.insert(total.times.end(), part.times.begin(), part.times.end());
}

void printRow(const std::string& name, const Counts& manual, const Counts& automatic, const Counts* aruco) {
    auto rate = [](const Counts& c) { return c.markers > 0 ? 100.0 * c.found / c.markers : 0.0; };
    auto position = [](const Counts& c) { return c.posed > 0 ? 100.0 * c.positionError / c.posed : 0.0; };
    auto rotation = [](const Counts& c) { return c.posed > 0 ? c.rotationError / c.posed : 0.0; };
    std::printf("%-26s %6.1f %6.1f %4ld %6.2f %5.2f %5.2f %7.3f", name.c_str(), rate(manual), rate(automatic),
                automatic.falsePositive, position(automatic), 100.0 * automatic.worstPosition,
                rotation(automatic), median(automatic.times));
    if (aruco != nullptr) {
        const double ratio = median(aruco->times) / std::max(1e-9, median(automatic.times));
        std::printf(" | %6.1f %4ld %6.2f %5.2f %5.2f %7.3f %6.1fx", rate(*aruco), aruco->falsePositive,
                    position(*aruco), 100.0 * aruco->worstPosition, rotation(*aruco), median(aruco->times),
                    ratio);
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    only() = argc > 2 ? argv[2] : "";
    char directory[] = "/tmp/velquin-bench-XXXXXX";
    if (mkdtemp(directory) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string cameraPath = std::string(directory) + "/camera_para.dat";
    Ostrevan::saveCameraParameters(cameraPath.c_str(), FrameSynth::standardCamera(kDistortion));
    Ostrevan::Manager manager;
    if (!manager.initialise(640, 480, 4, cameraPath)) {
        std::fprintf(stderr, "cannot read %s\n", cameraPath.c_str());
        return 1;
    }
    Ostrevan::saveCameraParameters(cameraPath.c_str(), largeCamera());
    Ostrevan::Manager largeManager;
    if (!largeManager.initialise(1920, 1080, 4, cameraPath)) {
        std::fprintf(stderr, "cannot read %s\n", cameraPath.c_str());
        return 1;
    }
    std::remove(cameraPath.c_str());
    // The detector under test, with the camera of the camera file.
    Ostrevan::Library library;
    library.setDetectorCamera(*manager.camera());
    Ostrevan::Library largeLibrary;
    largeLibrary.setDetectorCamera(*largeManager.camera());
#if VELQUIN_BENCH_ARUCO
    cv::setNumThreads(1);
    Aruco aruco;
    aruco.smallCamera = FrameSynth::standardCamera(kDistortion);
    aruco.largeCamera = largeCamera();
    aruco.dictionary = cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
#endif
    // Four patterns of this program and four ArUco markers.
    Pictures pictures;
    for (int m = 0; m < 4; ++m) {
        pictures.ours.push_back(FrameSynth::randomPicture(8, 100 + m));
        Ostrevan::SampledPattern upright;
        Ostrevan::patternOfPicture(pictures.ours.back().texels.data(), 8, 8, &upright);
        const std::string path = std::string(directory) + "/" + std::to_string(m) + ".pat";
        FILE* file = std::fopen(path.c_str(), "w");
        const std::string text = Ostrevan::patternFileOf(upright);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        if (library.loadPattern(path.c_str()) != m || largeLibrary.loadPattern(path.c_str()) != m) {
            std::fprintf(stderr, "cannot load %s\n", path.c_str());
            return 1;
        }
        std::remove(path.c_str());
        FrameSynth::Image picture(6, 6, 0);
#if VELQUIN_BENCH_ARUCO
        cv::Mat image;
        cv::aruco::drawMarker(aruco.dictionary, m, 6, image, 1);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 6; ++x) {
                uint8_t* t = picture.at(x, y);
                t[0] = t[1] = t[2] = image.at<uint8_t>(y, x);
            }
        }
#endif
        pictures.aruco.push_back(picture);
    }
    rmdir(directory);

    std::vector<FrameSet> sets;
    for (int markers : {1, 4}) {
        const char* kinds[] = {"clean", "noisy", "cluttered"};
        for (int kind = 0; kind < 3; ++kind) {
            sets.push_back(makeTimingSet(std::string(kinds[kind]) + ", " + std::to_string(markers) +
                                             (markers == 1 ? " marker" : " markers"),
                                         markers, kind, frames, pictures));
        }
    }
    for (int fall : {0, 20, 40, 60, 80}) {
        sets.push_back(
            makeSet("light fall " + std::to_string(fall) + " %", frames, pictures,
                    [fall](FrameSynth::Scene& scene, std::mt19937& random) {
                        scene.markers.push_back(randomMarker(random, 500, 0, 0));
                        double u0, v0, u1, v1;
                        FrameSynth::project(scene.camera, scene.markers[0].pose, -kWidth / 2, 0, &u0, &v0);
                        FrameSynth::project(scene.camera, scene.markers[0].pose, kWidth / 2, 0, &u1, &v1);
                        scene.lightFall.from[0] = u0;
                        scene.lightFall.from[1] = v0;
                        scene.lightFall.to[0] = u1;
                        scene.lightFall.to[1] = v1;
                        scene.lightFall.fall = fall / 100.0;
                    }));
    }
    for (int ink : {0, 50, 100, 125, 150}) {
        sets.push_back(makeSet("black printed at " + std::to_string(ink), frames, pictures,
                               [ink](FrameSynth::Scene& scene, std::mt19937& random) {
                                   scene.markers.push_back(randomMarker(random, 500, 0, 0));
                                   scene.markers[0].ink = ink;
                               }));
    }
    for (int side : {200, 100, 48, 32, 24, 20, 16, 12}) {
        sets.push_back(
            makeSet("side " + std::to_string(side) + " px", frames, pictures,
                    [side](FrameSynth::Scene& scene, std::mt19937& random) {
                        FrameSynth::Marker marker = randomMarker(random, distanceForSide(side), 0, 0);
                        // Small markers are seen nearly face on.
                        FrameSynth::makePose(marker.pose[2][3], marker.pose[0][3], marker.pose[1][3],
                                             std::uniform_real_distribution<double>(0, 6.28)(random),
                                             side < 48 ? 0.2 : 0.4, 0.3, marker.pose);
                        scene.markers.push_back(marker);
                    }));
    }
    sets.push_back(
        makeSet("pose, centre", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            scene.markers.push_back(randomMarker(random, 500, 0, 0));
        }));
    sets.push_back(makeSet(
        "pose, 300 px off centre", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            const double angle = std::uniform_real_distribution<double>(0, 6.28)(random);
            scene.markers.push_back(randomMarker(random, 700, 280 * std::cos(angle), 200 * std::sin(angle)));
        }));
    sets.push_back(
        makeSet("noise sigma 12", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            scene.markers.push_back(randomMarker(random, 500, 0, 0));
            scene.noise = 12.0;
        }));
    sets.push_back(makeSet("Gaussian blur sigma 4", frames, pictures,
                           [](FrameSynth::Scene& scene, std::mt19937& random) {
                               scene.markers.push_back(randomMarker(random, 400, 0, 0));
                               scene.blur = 4.0;
                           }));
    sets.push_back(
        makeSet("motion blur 25 px", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            scene.markers.push_back(randomMarker(random, 400, 0, 0));
            scene.motion = 25.0;
            scene.motionAngle = std::uniform_real_distribution<double>(0, 3.14)(random);
        }));
    sets.push_back(makeSet(
        "JPEG quality 40", frames, pictures,
        [](FrameSynth::Scene& scene, std::mt19937& random) {
            scene.markers.push_back(randomMarker(random, 600, 0, 0));
        },
        40));
    sets.push_back(makeSet(
        "half the pattern covered", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            scene.markers.push_back(randomMarker(random, 450, 0, 0));
            // A grey card over one half of the interior, inside the border.
            double u0, v0, u1, v1;
            FrameSynth::project(scene.camera, scene.markers[0].pose, -kWidth * 0.2, 0, &u0, &v0);
            FrameSynth::project(scene.camera, scene.markers[0].pose, kWidth * 0.2, 0, &u1, &v1);
            FrameSynth::Shape card;
            card.centre[0] = (u0 + 3 * u1) / 4;
            card.centre[1] = (v0 + 3 * v1) / 4;
            card.size[0] = std::hypot(u1 - u0, v1 - v0) / 2;
            card.size[1] = std::hypot(u1 - u0, v1 - v0);
            card.angle = std::atan2(v1 - v0, u1 - u0);
            card.colour[0] = card.colour[1] = card.colour[2] = 160;
            scene.occluders.push_back(card);
        }));
    sets.push_back(
        makeSet("clutter, no marker", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            scene.noise = 4.0;
            for (int i = 0; i < 60; ++i) {
                FrameSynth::Shape shape;
                shape.kind = i % 3 == 0 ? FrameSynth::Shape::Ellipse : FrameSynth::Shape::Rectangle;
                shape.centre[0] = unit(random) * 640;
                shape.centre[1] = unit(random) * 480;
                shape.size[0] = 6 + unit(random) * 90;
                shape.size[1] = 6 + unit(random) * 90;
                shape.angle = unit(random) * 3.2;
                const uint8_t shade = static_cast<uint8_t>(unit(random) * 255);
                shape.colour[0] = shape.colour[1] = shape.colour[2] = shade;
                scene.clutter.push_back(shape);
            }
        }));

    sets.push_back(
        makeSet("corner covered 0.1", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            scene.markers.push_back(randomMarker(random, 450, 0, 0));
            // A fingertip on one corner of the black square: a disc a tenth of the side across,
            // centred on the corner; skin in one frame, a dark glove or nail in the next (it
            // joins the border and moves the corner's contour out).
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            const int corner = static_cast<int>(unit(random) * 4.0) % 4;
            double u, v;
            FrameSynth::project(scene.camera, scene.markers[0].pose, (corner % 2 == 0 ? -0.5 : 0.5) * kWidth,
                                (corner < 2 ? 0.5 : -0.5) * kWidth, &u, &v);
            FrameSynth::Shape finger;
            finger.kind = FrameSynth::Shape::Ellipse;
            finger.centre[0] = u;
            finger.centre[1] = v;
            finger.size[0] = finger.size[1] = 0.1 * FrameSynth::apparentSide(scene.camera, scene.markers[0]);
            const bool skin = scene.seed % 2 == 1;
            finger.colour[0] = skin ? 105 : 35;
            finger.colour[1] = skin ? 135 : 32;
            finger.colour[2] = skin ? 185 : 30;
            scene.occluders.push_back(finger);
        }));
    sets.push_back(makeSet("among 50 dark squares", frames, pictures,
                           [](FrameSynth::Scene& scene, std::mt19937& random) {
                               // Tiles above the marker, so that they come first in the order of the regions.
                               std::uniform_real_distribution<double> unit(0.0, 1.0);
                               scene.markers.push_back(randomMarker(random, 520, 0, 150));
                               for (int i = 0; i < 50; ++i) {
                                   FrameSynth::Shape tile;
                                   tile.centre[0] = 35 + (i % 10) * 63 + (unit(random) - 0.5) * 10;
                                   tile.centre[1] = 28 + (i / 10) * 48 + (unit(random) - 0.5) * 8;
                                   tile.size[0] = tile.size[1] = 22 + unit(random) * 14;
                                   tile.angle = unit(random) * 1.5;
                                   const uint8_t shade = static_cast<uint8_t>(10 + unit(random) * 60);
                                   tile.colour[0] = tile.colour[1] = tile.colour[2] = shade;
                                   scene.clutter.push_back(tile);
                               }
                           }));
    sets.push_back(
        makeSet("close-up 400 px", frames, pictures, [](FrameSynth::Scene& scene, std::mt19937& random) {
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            FrameSynth::Marker marker;
            marker.width = kWidth;
            do {
                FrameSynth::makePose(distanceForSide(400), (unit(random) - 0.5) * 4, (unit(random) - 0.5) * 4,
                                     (unit(random) - 0.5) * 0.3, 0.15, unit(random) * M_PI, marker.pose);
            } while (!wholeInView(scene.camera, marker));
            scene.markers.push_back(marker);
        }));
    sets.push_back(makeSet("close-up 540 px, 1920x1080", std::max(1, frames / 4), pictures,
                           [](FrameSynth::Scene& scene, std::mt19937& random) {
                               std::uniform_real_distribution<double> unit(0.0, 1.0);
                               scene.camera = largeCamera();
                               scene.supersampling = 2;
                               FrameSynth::Marker marker;
                               marker.width = kWidth;
                               const double distance = scene.camera.projection[0][0] * kWidth / 540.0;
                               do {
                                   FrameSynth::makePose(distance, (unit(random) - 0.5) * 10,
                                                        (unit(random) - 0.5) * 10, (unit(random) - 0.5) * 0.3,
                                                        0.15, unit(random) * M_PI, marker.pose);
                               } while (!wholeInView(scene.camera, marker));
                               scene.markers.push_back(marker);
                           }));
#if VELQUIN_BENCH_ARUCO
    // Markers printed into photographs of Debian's OpenCV documentation (opencv-doc): desks,
    // buildings, fruit, faces, a chessboard.
    const std::string photos = "/usr/share/doc/opencv-doc/examples/data/";
    const char* photoNames[] = {"aero1.jpg",        "aero3.jpg",       "aloeL.jpg",        "apple.jpg",
                                "baboon.jpg",       "basketball1.png", "board.jpg",        "box_in_scene.png",
                                "building.jpg",     "butterfly.jpg",   "chicky_512.png",   "ela_original.jpg",
                                "fruits.jpg",       "graf1.png",       "home.jpg",         "left01.jpg",
                                "leuvenA.jpg",      "leuvenB.jpg",     "messi5.jpg",       "orange.jpg",
                                "pca_test1.jpg",    "right05.jpg",     "rubberwhale1.png", "smarties.png",
                                "squirrel_cls.jpg", "stuff.jpg"};
    const size_t firstPhoto = sets.size();
    for (const char* photo : photoNames) {
        sets.push_back(
            makePhotoSet(std::string("photo ") + photo, photos + photo, std::max(1, frames / 2), pictures));
    }
    const size_t lastPhoto = sets.size();
#else
    const size_t firstPhoto = sets.size();
    const size_t lastPhoto = sets.size();
#endif

    std::printf("%-26s %6s %6s %4s %6s %5s %5s %7s | %6s %4s %6s %5s %5s %7s %7s\n", "640x480, per condition",
                "man %", "auto %", "FP", "pos %", "worst", "rot", "ms", "ArUco%", "FP", "pos %", "worst",
                "rot", "ms", "speed");
    Ours manual{{&manager, &library}, {&largeManager, &largeLibrary}, false};
    Ours automatic{{&manager, &library}, {&largeManager, &largeLibrary}, true};
    const std::vector<uint8_t> blank(640 * 480 * 4, 220);
    // A pose from scratch in every frame of the condition sets, and the history's memory cleared
    // after each, so that every frame counts on its own.
    auto forget = [&](const FrameSet& set) {
        if (set.name.find(',') == std::string::npos || set.name.rfind("pose", 0) == 0) {
            Ostrevan::FrameView view;
            view.pixels = blank.data();
            view.width = 640;
            view.height = 480;
            for (int i = 0; i < 3; ++i) {
                library.detectMarkers(view, 100);
            }
            const std::vector<uint8_t> largeBlank(1920 * 1080 * 4, 220);
            view.pixels = largeBlank.data();
            view.width = 1920;
            view.height = 1080;
            for (int i = 0; i < 3; ++i) {
                largeLibrary.detectMarkers(view, 100);
            }
        }
    };
    Counts photoManual;
    Counts photoAutomatic;
    Counts photoAruco;
    for (size_t s = 0; s < sets.size(); ++s) {
        const FrameSet& set = sets[s];
        if (set.frames.empty()) {
            continue;
        }
        Counts manualCounts;
        Counts automaticCounts;
        for (const Frame& frame : set.frames) {
            manual.run(frame, manualCounts);
            forget(set);
        }
        forget(set);
        // Automatic mode and ArUco frame by frame, so that both are timed under the same load.
#if VELQUIN_BENCH_ARUCO
        Counts arucoCounts;
#endif
        for (const Frame& frame : set.frames) {
            automatic.run(frame, automaticCounts);
            forget(set);
#if VELQUIN_BENCH_ARUCO
            aruco.run(frame, arucoCounts);
#endif
        }
        if (s >= firstPhoto && s < lastPhoto) {
            add(photoManual, manualCounts);
            add(photoAutomatic, automaticCounts);
#if VELQUIN_BENCH_ARUCO
            add(photoAruco, arucoCounts);
#endif
        }
#if VELQUIN_BENCH_ARUCO
        printRow(set.name, manualCounts, automaticCounts, &arucoCounts);
#else
        printRow(set.name, manualCounts, automaticCounts, nullptr);
#endif
        forget(set);
    }
    if (photoAutomatic.markers > 0) {
#if VELQUIN_BENCH_ARUCO
        printRow("real photographs, all", photoManual, photoAutomatic, &photoAruco);
#else
        printRow("real photographs, all", photoManual, photoAutomatic, nullptr);
#endif
    }
    (void)photoAruco;
    return 0;
}
