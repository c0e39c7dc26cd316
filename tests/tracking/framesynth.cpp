#include "tracking/framesynth.h"

#include <algorithm>
#include <cmath>
#include <random>

#if VELQUIN_FRAMESYNTH_JPEG
#include <cstdio>
#include <jpeglib.h>
#endif

namespace FrameSynth {

namespace {

struct Vec3 {
    double x, y, z;
};

double dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Inverse of the left 3 x 3 part of the projection (its fourth column is taken as zero).
void invertCamera(const Ostrevan::CameraParameters& camera, double inv[3][3]) {
    const auto& m = camera.projection;
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    inv[0][0] = c00 / det;
    inv[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    inv[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    inv[1][0] = c01 / det;
    inv[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    inv[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    inv[2][0] = c02 / det;
    inv[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    inv[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
}

void multiply(const double a[3][3], const double b[3][3], double out[3][3]) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        }
    }
}

bool insideShape(const Shape& shape, double c, double s, double x, double y) {
    const double dx = x - shape.centre[0];
    const double dy = y - shape.centre[1];
    const double u = (c * dx + s * dy) / (shape.size[0] / 2.0);
    const double v = (-s * dx + c * dy) / (shape.size[1] / 2.0);
    if (shape.kind == Shape::Rectangle) {
        return std::fabs(u) <= 1.0 && std::fabs(v) <= 1.0;
    }
    return u * u + v * v <= 1.0;
}

void drawShape(const Shape& shape, int width, int height, std::vector<double>& rgb) {
    const double reach = std::hypot(shape.size[0], shape.size[1]) / 2.0 + 1.0;
    const int x0 = std::max(0, static_cast<int>(std::floor(shape.centre[0] - reach)));
    const int x1 = std::min(width - 1, static_cast<int>(std::ceil(shape.centre[0] + reach)));
    const int y0 = std::max(0, static_cast<int>(std::floor(shape.centre[1] - reach)));
    const int y1 = std::min(height - 1, static_cast<int>(std::ceil(shape.centre[1] + reach)));
    const double c = std::cos(shape.angle);
    const double s = std::sin(shape.angle);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            // 2 x 2 samples soften the edges a little.
            int hits = 0;
            for (int k = 0; k < 4; ++k) {
                hits += insideShape(shape, c, s, x - 0.25 + 0.5 * (k & 1), y - 0.25 + 0.5 * (k >> 1)) ? 1 : 0;
            }
            if (hits == 0) {
                continue;
            }
            double* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            for (int k = 0; k < 3; ++k) {
                p[k] = (p[k] * (4 - hits) + shape.colour[k] * hits) / 4.0;
            }
        }
    }
}

// Colour of a model point of a marker, or false outside its quiet zone.
bool markerColour(const Marker& marker, double X, double Y, double out[3]) {
    const double half = marker.width / 2.0;
    const double outer = half + marker.quietZone * marker.width;
    if (std::fabs(X) > outer || std::fabs(Y) > outer) {
        return false;
    }
    if (std::fabs(X) > half || std::fabs(Y) > half) {
        out[0] = out[1] = out[2] = 255.0;
        return true;
    }
    const double pictureHalf = half * marker.pictureFraction;
    if (std::fabs(X) >= pictureHalf || std::fabs(Y) >= pictureHalf || marker.picture.width == 0) {
        out[0] = out[1] = out[2] = 0.0;
        return true;
    }
    const double u = (X + pictureHalf) / (2.0 * pictureHalf);
    const double v = (pictureHalf - Y) / (2.0 * pictureHalf);
    const int column = std::min(marker.picture.width - 1, static_cast<int>(u * marker.picture.width));
    const int row = std::min(marker.picture.height - 1, static_cast<int>(v * marker.picture.height));
    const uint8_t* texel = marker.picture.at(column, row);
    out[0] = texel[0];
    out[1] = texel[1];
    out[2] = texel[2];
    return true;
}

bool printedColour(const Marker& marker, double X, double Y, double out[3]) {
    if (!markerColour(marker, X, Y, out)) {
        return false;
    }
    for (int k = 0; k < 3; ++k) {
        out[k] = marker.ink + out[k] * (255.0 - marker.ink) / 255.0;
    }
    return true;
}

void drawMarker(const Scene& scene, const Marker& marker, std::vector<double>& rgb) {
    const Ostrevan::CameraParameters& camera = scene.camera;
    const int width = camera.width;
    const int height = camera.height;
    // Bounding box of the quiet zone in the frame (sampled along its edges: distortion bends them).
    const double outer = marker.width * (0.5 + marker.quietZone);
    double minU = 1e9, maxU = -1e9, minV = 1e9, maxV = -1e9;
    for (int i = 0; i <= 32; ++i) {
        const double s = -outer + 2.0 * outer * i / 32.0;
        const double edge[4][2] = {{s, -outer}, {s, outer}, {-outer, s}, {outer, s}};
        for (const auto& point : edge) {
            double u, v;
            project(camera, marker.pose, point[0], point[1], &u, &v);
            minU = std::min(minU, u);
            maxU = std::max(maxU, u);
            minV = std::min(minV, v);
            maxV = std::max(maxV, v);
        }
    }
    const int x0 = std::max(0, static_cast<int>(std::floor(minU)) - 2);
    const int x1 = std::min(width - 1, static_cast<int>(std::ceil(maxU)) + 2);
    const int y0 = std::max(0, static_cast<int>(std::floor(minV)) - 2);
    const int y1 = std::min(height - 1, static_cast<int>(std::ceil(maxV)) + 2);

    double inv[3][3];
    invertCamera(camera, inv);
    const auto& pose = marker.pose;
    const Vec3 axisX{pose[0][0], pose[1][0], pose[2][0]};
    const Vec3 axisY{pose[0][1], pose[1][1], pose[2][1]};
    const Vec3 normal{pose[0][2], pose[1][2], pose[2][2]};
    const Vec3 t{pose[0][3], pose[1][3], pose[2][3]};
    const double planeOffset = dot(normal, t);
    const int n = std::max(1, scene.supersampling);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            double sum[3] = {0.0, 0.0, 0.0};
            int hits = 0;
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    const double ou = x - 0.5 + (sx + 0.5) / n;
                    const double ov = y - 0.5 + (sy + 0.5) / n;
                    double iu, iv;
                    Ostrevan::observedToIdeal(camera.distortion, ou, ov, &iu, &iv);
                    const Vec3 ray{inv[0][0] * iu + inv[0][1] * iv + inv[0][2],
                                   inv[1][0] * iu + inv[1][1] * iv + inv[1][2],
                                   inv[2][0] * iu + inv[2][1] * iv + inv[2][2]};
                    const double facing = dot(normal, ray);
                    if (facing == 0.0) {
                        continue;
                    }
                    const double lambda = planeOffset / facing;
                    if (lambda <= 0.0) {
                        continue;
                    }
                    const Vec3 offset{lambda * ray.x - t.x, lambda * ray.y - t.y, lambda * ray.z - t.z};
                    double colour[3];
                    if (!printedColour(marker, dot(axisX, offset), dot(axisY, offset), colour)) {
                        continue;
                    }
                    sum[0] += colour[0];
                    sum[1] += colour[1];
                    sum[2] += colour[2];
                    ++hits;
                }
            }
            if (hits == 0) {
                continue;
            }
            double* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            const int total = n * n;
            for (int k = 0; k < 3; ++k) {
                p[k] = (p[k] * (total - hits) + sum[k]) / total;
            }
        }
    }
}

void gaussianBlur(std::vector<double>& rgb, int width, int height, double sigma) {
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<double> kernel(2 * radius + 1);
    double total = 0.0;
    for (int i = -radius; i <= radius; ++i) {
        kernel[i + radius] = std::exp(-0.5 * i * i / (sigma * sigma));
        total += kernel[i + radius];
    }
    for (double& k : kernel) {
        k /= total;
    }
    std::vector<double> tmp(rgb.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    double v = 0.0;
                    for (int i = -radius; i <= radius; ++i) {
                        int xx = pass == 0 ? std::clamp(x + i, 0, width - 1) : x;
                        int yy = pass == 1 ? std::clamp(y + i, 0, height - 1) : y;
                        v += kernel[i + radius] * rgb[(static_cast<size_t>(yy) * width + xx) * 3 + c];
                    }
                    tmp[(static_cast<size_t>(y) * width + x) * 3 + c] = v;
                }
            }
        }
        rgb.swap(tmp);
    }
}

// Averages every pixel over a straight line of `length` pixels centred on it.
void motionBlur(std::vector<double>& rgb, int width, int height, double length, double angle) {
    const int steps = std::max(2, static_cast<int>(std::ceil(length)) + 1);
    const double dx = std::cos(angle) * length;
    const double dy = std::sin(angle) * length;
    std::vector<double> out(rgb.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[3] = {0.0, 0.0, 0.0};
            for (int i = 0; i < steps; ++i) {
                const double f = static_cast<double>(i) / (steps - 1) - 0.5;
                const int xx = std::clamp(static_cast<int>(std::lround(x + f * dx)), 0, width - 1);
                const int yy = std::clamp(static_cast<int>(std::lround(y + f * dy)), 0, height - 1);
                const double* p = &rgb[(static_cast<size_t>(yy) * width + xx) * 3];
                sum[0] += p[0];
                sum[1] += p[1];
                sum[2] += p[2];
            }
            double* o = &out[(static_cast<size_t>(y) * width + x) * 3];
            for (int k = 0; k < 3; ++k) {
                o[k] = sum[k] / steps;
            }
        }
    }
    rgb.swap(out);
}

double lightAt(const Scene::LightFall& light, double x, double y) {
    if (light.fall == 0.0) {
        return 1.0;
    }
    const double ax = light.to[0] - light.from[0];
    const double ay = light.to[1] - light.from[1];
    const double length = ax * ax + ay * ay;
    const double t = length > 0.0 ? ((x - light.from[0]) * ax + (y - light.from[1]) * ay) / length : 1.0;
    return 1.0 - light.fall * std::clamp(t, 0.0, 1.0);
}

} // namespace

Ostrevan::CameraParameters standardCamera(double distortionFactor) {
    Ostrevan::CameraParameters camera;
    camera.width = 640;
    camera.height = 480;
    const double focal = 320.0 / std::tan(30.0 * M_PI / 180.0);
    const double P[3][4] = {{focal, 0.0, 319.5, 0.0}, {0.0, focal, 239.5, 0.0}, {0.0, 0.0, 1.0, 0.0}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            camera.projection[r][c] = P[r][c];
        }
    }
    camera.distortion[0] = 319.5;
    camera.distortion[1] = 239.5;
    camera.distortion[2] = distortionFactor;
    camera.distortion[3] = 1.0;
    return camera;
}

void makePose(double distance, double x, double y, double roll, double tilt, double tiltAxis,
              double pose[3][4]) {
    // Upright and facing the camera: model x right, model y up (camera -y), normal towards it.
    const double facing[3][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    const double cr = std::cos(roll), sr = std::sin(roll);
    const double turn[3][3] = {{cr, -sr, 0}, {sr, cr, 0}, {0, 0, 1}};
    // Rodrigues rotation about (cos tiltAxis, sin tiltAxis, 0).
    const double ax = std::cos(tiltAxis), ay = std::sin(tiltAxis);
    const double ct = std::cos(tilt), st = std::sin(tilt), vt = 1.0 - ct;
    const double lean[3][3] = {{ct + ax * ax * vt, ax * ay * vt, ay * st},
                               {ax * ay * vt, ct + ay * ay * vt, -ax * st},
                               {-ay * st, ax * st, ct}};
    double a[3][3], r[3][3];
    multiply(facing, lean, a);
    multiply(a, turn, r);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            pose[i][j] = r[i][j];
        }
    }
    pose[0][3] = x;
    pose[1][3] = y;
    pose[2][3] = distance;
}

void project(const Ostrevan::CameraParameters& camera, const double pose[3][4], double x, double y, double* u,
             double* v) {
    double c[3];
    for (int i = 0; i < 3; ++i) {
        c[i] = pose[i][0] * x + pose[i][1] * y + pose[i][3];
    }
    const auto& P = camera.projection;
    const double w = P[2][0] * c[0] + P[2][1] * c[1] + P[2][2] * c[2] + P[2][3];
    const double iu = (P[0][0] * c[0] + P[0][1] * c[1] + P[0][2] * c[2] + P[0][3]) / w;
    const double iv = (P[1][0] * c[0] + P[1][1] * c[1] + P[1][2] * c[2] + P[1][3]) / w;
    Ostrevan::idealToObserved(camera.distortion, iu, iv, u, v);
}

void render(const Scene& scene, std::vector<uint8_t>* frame, int pixelSize) {
    const int width = scene.camera.width;
    const int height = scene.camera.height;
    std::vector<double> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = scene.background[0];
        rgb[i + 1] = scene.background[1];
        rgb[i + 2] = scene.background[2];
    }
    for (const Shape& shape : scene.clutter) {
        drawShape(shape, width, height, rgb);
    }
    for (const Marker& marker : scene.markers) {
        drawMarker(scene, marker, rgb);
    }
    for (const Shape& shape : scene.occluders) {
        drawShape(shape, width, height, rgb);
    }
    if (scene.blur > 0.0) {
        gaussianBlur(rgb, width, height, scene.blur);
    }
    if (scene.motion > 0.0) {
        motionBlur(rgb, width, height, scene.motion, scene.motionAngle);
    }
    std::mt19937 random(scene.seed);
    std::normal_distribution<double> noise(0.0, scene.noise > 0.0 ? scene.noise : 1.0);
    frame->assign(static_cast<size_t>(width) * height * pixelSize, 255);
    for (int y = 0; y < height; ++y) {
        const double light = 1.0 + scene.gradient[1] * (static_cast<double>(y) / height - 0.5);
        for (int x = 0; x < width; ++x) {
            const double gain = (light + scene.gradient[0] * (static_cast<double>(x) / width - 0.5)) *
                                lightAt(scene.lightFall, x, y);
            const double* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            uint8_t* out = frame->data() + (static_cast<size_t>(y) * width + x) * pixelSize;
            for (int k = 0; k < 3; ++k) {
                double v = p[k] * gain;
                if (scene.noise > 0.0) {
                    v += noise(random);
                }
                out[k] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
            }
        }
    }
}

double apparentSide(const Ostrevan::CameraParameters& camera, const Marker& marker) {
    const double h = marker.width / 2.0;
    const double model[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
    double corners[4][2];
    for (int k = 0; k < 4; ++k) {
        project(camera, marker.pose, model[k][0], model[k][1], &corners[k][0], &corners[k][1]);
    }
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) {
        sum += std::hypot(corners[(k + 1) % 4][0] - corners[k][0], corners[(k + 1) % 4][1] - corners[k][1]);
    }
    return sum / 4.0;
}

#if VELQUIN_FRAMESYNTH_JPEG
bool jpegRoundTrip(std::vector<uint8_t>* frame, int width, int height, int pixelSize, int quality) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        rgb[i * 3] = (*frame)[i * pixelSize + 2];
        rgb[i * 3 + 1] = (*frame)[i * pixelSize + 1];
        rgb[i * 3 + 2] = (*frame)[i * pixelSize];
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct compress;
    jpeg_error_mgr errors;
    compress.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compress);
    jpeg_mem_dest(&compress, &buffer, &size);
    compress.image_width = static_cast<JDIMENSION>(width);
    compress.image_height = static_cast<JDIMENSION>(height);
    compress.input_components = 3;
    compress.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compress);
    jpeg_set_quality(&compress, quality, TRUE);
    jpeg_start_compress(&compress, TRUE);
    while (compress.next_scanline < compress.image_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(compress.next_scanline) * width * 3];
        jpeg_write_scanlines(&compress, &row, 1);
    }
    jpeg_finish_compress(&compress);
    jpeg_destroy_compress(&compress);

    jpeg_decompress_struct decompress;
    decompress.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decompress);
    jpeg_mem_src(&decompress, buffer, size);
    jpeg_read_header(&decompress, TRUE);
    decompress.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decompress);
    while (decompress.output_scanline < decompress.output_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(decompress.output_scanline) * width * 3];
        jpeg_read_scanlines(&decompress, &row, 1);
    }
    jpeg_finish_decompress(&decompress);
    jpeg_destroy_decompress(&decompress);
    std::free(buffer);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        (*frame)[i * pixelSize + 2] = rgb[i * 3];
        (*frame)[i * pixelSize + 1] = rgb[i * 3 + 1];
        (*frame)[i * pixelSize] = rgb[i * 3 + 2];
    }
    return true;
}
#else
bool jpegRoundTrip(std::vector<uint8_t>*, int, int, int, int) {
    return false;
}
#endif

Image randomPicture(int cells, unsigned seed) {
    std::mt19937 random(seed);
    Image picture(cells, cells);
    for (int y = 0; y < cells; ++y) {
        for (int x = 0; x < cells; ++x) {
            const uint8_t v = (random() & 1) != 0 ? 20 : 235;
            uint8_t* t = picture.at(x, y);
            t[0] = t[1] = t[2] = v;
        }
    }
    // A solid dark corner block fixes the orientation beyond doubt.
    for (int y = 0; y < cells / 4; ++y) {
        for (int x = 0; x < cells / 4; ++x) {
            uint8_t* t = picture.at(x, y);
            t[0] = t[1] = t[2] = 20;
        }
    }
    return picture;
}

} // namespace FrameSynth
