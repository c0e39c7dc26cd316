#pragma once

#include "tracking/camera.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Synthetic camera frames with known ground truth, for the marker library's tests and
// benchmarks: markers (a black square with a picture inside) rendered under a known camera,
// lens distortion included, and a known pose, with optional noise, blur, lighting gradient,
// dark clutter and occluders. Frames are 32-bit (B, G, R, A) or 24-bit (B, G, R), rows top down.
namespace FrameSynth {

// A picture, 3 bytes per texel in frame byte order (B, G, R), rows top down.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> texels;

    Image() = default;
    Image(int w, int h, uint8_t grey = 255)
        : width(w), height(h), texels(static_cast<size_t>(w) * h * 3, grey) {}
    uint8_t* at(int x, int y) { return &texels[(static_cast<size_t>(y) * width + x) * 3]; }
    const uint8_t* at(int x, int y) const { return &texels[(static_cast<size_t>(y) * width + x) * 3]; }
};

// A marker in the scene. Its black square is `width` units wide, centred on the model origin,
// in the plane z = 0, x to the right and y up on the upright picture. The picture fills the
// central `pictureFraction` of the square (0.5 for this program's markers, 1.0 for markers whose
// picture includes their own border); the rest of the square is black, and a white quiet zone
// of `quietZone` widths surrounds it.
struct Marker {
    Image picture;
    double width = 1.0;
    double pictureFraction = 0.5;
    double quietZone = 0.25;
    double pose[3][4] = {}; // marker -> camera, as the pose estimator returns it
    // Grey level of the printed black (grey ink, glossy paper): every colour c of the marker is
    // printed as ink + c * (255 - ink) / 255.
    double ink = 0.0;
};

// A filled shape drawn in frame coordinates, before the markers (clutter) or after (occluder).
struct Shape {
    enum Kind { Rectangle, Ellipse } kind = Rectangle;
    double centre[2] = {};
    double size[2] = {}; // full width and height
    double angle = 0.0;  // radians, turning the shape on the screen
    uint8_t colour[3] = {30, 30, 30};
};

struct Scene {
    Ostrevan::CameraParameters camera;
    uint8_t background[3] = {200, 200, 200};
    double gradient[2] = {0.0, 0.0}; // brightness change from left to right edge and top to bottom
    double noise = 0.0;              // standard deviation of Gaussian noise per byte
    double blur = 0.0;               // standard deviation of a Gaussian blur, pixels
    double motion = 0.0;             // length in pixels of a straight motion blur
    double motionAngle = 0.0;        // its direction on the screen, radians
    // Light falling off along a line in the frame: full light up to `from`, `fall` (0..1) less
    // from `to` on, linear between (a shadow edge across a marker).
    struct LightFall {
        double from[2] = {};
        double to[2] = {};
        double fall = 0.0;
    } lightFall;
    int supersampling = 3; // samples per pixel side for the markers
    unsigned seed = 1;
    std::vector<Shape> clutter;
    std::vector<Marker> markers;
    std::vector<Shape> occluders;
};

// A 640 x 480 camera with a 60 degree horizontal field of view and the given distortion factor.
Ostrevan::CameraParameters standardCamera(double distortionFactor = 0.0);

// A marker pose: the marker `distance` units in front of the camera, its centre shifted by
// (x, y) units, turned `roll` radians in its own plane (counter-clockwise as seen), then tilted
// by `tilt` radians about an axis in its plane at angle `tiltAxis`.
void makePose(double distance, double x, double y, double roll, double tilt, double tiltAxis,
              double pose[3][4]);

// Renders the scene into `frame` (resized to width * height * pixelSize bytes).
void render(const Scene& scene, std::vector<uint8_t>* frame, int pixelSize = 4);

// Where a model point (z = 0) of a pose appears in the frame, lens distortion included.
void project(const Ostrevan::CameraParameters& camera, const double pose[3][4], double x, double y, double* u,
             double* v);

// Compresses a frame as a JPEG picture of the given quality (1..100) and decodes it again in
// place, as a camera sending compressed frames would. False when the build has no JPEG library.
bool jpegRoundTrip(std::vector<uint8_t>* frame, int width, int height, int pixelSize, int quality);

// The marker's side as it appears in the frame: the mean length of its four projected sides.
double apparentSide(const Ostrevan::CameraParameters& camera, const Marker& marker);

// A random picture of cells x cells squares of dark and light, seeded; asymmetric enough to
// tell its four orientations apart.
Image randomPicture(int cells, unsigned seed);

} // namespace FrameSynth
