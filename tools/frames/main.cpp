// velquin-frames: makes the recorded camera frames of the demo and the tests. Two markers lie on
// a desk in front of the camera and move slowly; the frames loop without a jump.
//   velquin-frames CAMERA_FILE MARKER_PICTURE_1 MARKER_PICTURE_2 OUTPUT_FOLDER [FRAMES]
#include "framesynth.h"
#include "picture.h"
#include "tracking/camera.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

FrameSynth::Image toImage(const Picture& picture) {
    FrameSynth::Image image(picture.width, picture.height);
    image.texels = picture.texels;
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5 || argc > 6) {
        std::fprintf(
            stderr,
            "usage: velquin-frames CAMERA_FILE MARKER_PICTURE_1 MARKER_PICTURE_2 OUTPUT_FOLDER [FRAMES]\n");
        return 2;
    }
    Ostrevan::CameraParameters camera;
    if (Ostrevan::loadCameraParameters(argv[1], &camera) < 0) {
        std::fprintf(stderr, "velquin-frames: cannot read the camera file %s\n", argv[1]);
        return 1;
    }
    Picture first, second;
    std::string error;
    if (!readPicture(argv[2], &first, &error) || !readPicture(argv[3], &second, &error)) {
        std::fprintf(stderr, "velquin-frames: %s\n", error.c_str());
        return 1;
    }
    const std::string folder = argv[4];
    mkdir(folder.c_str(), 0755);
    const int count = argc == 6 ? std::max(1, std::atoi(argv[5])) : 90;

    FrameSynth::Scene scene;
    scene.camera = camera;
    scene.background[0] = 168; // a warm grey desk (B, G, R)
    scene.background[1] = 184;
    scene.background[2] = 196;
    scene.gradient[0] = 0.12; // light from the upper right
    scene.gradient[1] = -0.18;
    scene.noise = 2.0;
    scene.supersampling = 2;
    FrameSynth::Shape pen;
    pen.kind = FrameSynth::Shape::Rectangle;
    pen.centre[0] = 560;
    pen.centre[1] = 420;
    pen.size[0] = 150;
    pen.size[1] = 9;
    pen.angle = -0.5;
    scene.clutter.push_back(pen);

    scene.markers.resize(2);
    scene.markers[0].picture = toImage(first);
    scene.markers[1].picture = toImage(second);
    for (FrameSynth::Marker& marker : scene.markers) {
        marker.width = 80;
    }
    std::vector<uint8_t> frame;
    for (int i = 0; i < count; ++i) {
        const double phase = 2.0 * M_PI * i / count; // one full loop
        scene.seed = static_cast<unsigned>(i + 1);
        FrameSynth::makePose(520 + 40 * std::sin(phase), -95 + 12 * std::cos(phase), 10,
                             0.25 * std::sin(phase), 0.55 + 0.12 * std::sin(phase), 1.2,
                             scene.markers[0].pose);
        FrameSynth::makePose(600, 110, 5 + 10 * std::sin(phase), -0.3 + 0.4 * std::cos(phase), 0.5, 1.7,
                             scene.markers[1].pose);
        FrameSynth::render(scene, &frame, 3);
        Picture picture;
        picture.width = camera.width;
        picture.height = camera.height;
        picture.texels = frame;
        char name[64];
        std::snprintf(name, sizeof name, "/frame-%03d.png", i);
        if (!writePng(folder + name, picture, &error)) {
            std::fprintf(stderr, "velquin-frames: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
