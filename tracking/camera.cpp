#include "tracking/camera.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace Ostrevan {

namespace {

int32_t readInt32(const unsigned char* p) {
    const uint32_t value =
        (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    int32_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

double readDouble(const unsigned char* p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value = (value << 8) | p[i];
    }
    double result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

void writeInt32(int32_t value, unsigned char* p) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(bits >> (24 - 8 * i));
    }
}

void writeDouble(double value, unsigned char* p) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    }
}

bool usableSize(int width, int height) {
    return width > 0 && height > 0 && width <= kMaxFrameSide && height <= kMaxFrameSide;
}

} // namespace

bool cameraIsUsable(const CameraParameters& camera) {
    if (!usableSize(camera.width, camera.height)) {
        return false;
    }
    for (const auto& row : camera.projection) {
        for (double value : row) {
            if (!std::isfinite(value)) {
                return false;
            }
        }
    }
    for (double value : camera.distortion) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    // The scale divides every undistorted offset.
    return camera.distortion[3] != 0.0;
}

int decodeCameraParameters(const unsigned char* bytes, long size, CameraParameters* destination) {
    if (bytes == nullptr || destination == nullptr || size < kCameraFileSize) {
        return -1;
    }
    CameraParameters camera;
    camera.width = readInt32(bytes);
    camera.height = readInt32(bytes + 4);
    const unsigned char* p = bytes + 8;
    for (auto& row : camera.projection) {
        for (double& value : row) {
            value = readDouble(p);
            p += 8;
        }
    }
    for (double& value : camera.distortion) {
        value = readDouble(p);
        p += 8;
    }
    if (!cameraIsUsable(camera)) {
        return -1;
    }
    *destination = camera;
    return 0;
}

int loadCameraParameters(const char* fileName, CameraParameters* destination) {
    if (fileName == nullptr) {
        return -1;
    }
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        return -1;
    }
    unsigned char record[kCameraFileSize];
    const size_t got = std::fread(record, 1, sizeof record, file);
    std::fclose(file);
    return decodeCameraParameters(record, static_cast<long>(got), destination);
}

void encodeCameraParameters(const CameraParameters& camera, unsigned char* bytes) {
    writeInt32(camera.width, bytes);
    writeInt32(camera.height, bytes + 4);
    unsigned char* p = bytes + 8;
    for (const auto& row : camera.projection) {
        for (double value : row) {
            writeDouble(value, p);
            p += 8;
        }
    }
    for (double value : camera.distortion) {
        writeDouble(value, p);
        p += 8;
    }
}

int saveCameraParameters(const char* fileName, const CameraParameters& camera) {
    unsigned char record[kCameraFileSize];
    encodeCameraParameters(camera, record);
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) {
        return -1;
    }
    const bool written = std::fwrite(record, 1, sizeof record, file) == sizeof record;
    return std::fclose(file) == 0 && written ? 0 : -1;
}

int scaleCameraParameters(const CameraParameters& source, int width, int height, CameraParameters* result) {
    if (result == nullptr || !usableSize(width, height) || source.width <= 0) {
        return -1;
    }
    const double k = static_cast<double>(width) / source.width;
    // Rows the frame lacks against the file's picture at the frame's width, half of them above.
    const double shift = (source.height * k - height) / 2.0;
    CameraParameters scaled;
    scaled.width = width;
    scaled.height = height;
    for (int c = 0; c < 4; ++c) {
        scaled.projection[0][c] = source.projection[0][c] * k;
        scaled.projection[1][c] = source.projection[1][c] * k - shift * source.projection[2][c];
        scaled.projection[2][c] = source.projection[2][c];
    }
    scaled.distortion[0] = source.distortion[0] * k;
    scaled.distortion[1] = source.distortion[1] * k - shift;
    scaled.distortion[2] = source.distortion[2] / (k * k);
    scaled.distortion[3] = source.distortion[3];
    *result = scaled;
    return 0;
}

bool madeForOtherAspect(const CameraParameters& camera, int width, int height) {
    if (camera.width <= 0 || camera.height <= 0 || width <= 0 || height <= 0) {
        return false;
    }
    // A size rounded to whole pixels (854 x 480 for 16:9) is off by less than a row.
    const double rows = static_cast<double>(camera.height) * width / camera.width;
    return std::fabs(rows - height) >= 1.0;
}

void observedToIdeal(const double distortion[4], double ox, double oy, double* ix, double* iy) {
    const double x0 = distortion[0];
    const double y0 = distortion[1];
    double px = ox - x0;
    double py = oy - y0;
    const double p = distortion[2] * 1e-8;
    double z2 = px * px + py * py;
    const double q = std::sqrt(z2);
    double z0 = q;
    for (int i = 1;; ++i) {
        if (z0 == 0.0) {
            px = 0.0;
            py = 0.0;
            break;
        }
        const double z = z0 - ((1.0 - p * z2) * z0 - q) / (1.0 - 3.0 * p * z2);
        px *= z / z0;
        py *= z / z0;
        if (i == 3) {
            break;
        }
        z2 = px * px + py * py;
        z0 = std::sqrt(z2);
    }
    *ix = px / distortion[3] + x0;
    *iy = py / distortion[3] + y0;
}

void idealToObserved(const double distortion[4], double ix, double iy, double* ox, double* oy) {
    const double x = (ix - distortion[0]) * distortion[3];
    const double y = (iy - distortion[1]) * distortion[3];
    if (x == 0.0 && y == 0.0) {
        *ox = distortion[0];
        *oy = distortion[1];
        return;
    }
    const double d = 1.0 - (x * x + y * y) * distortion[2] * 1e-8;
    *ox = x * d + distortion[0];
    *oy = y * d + distortion[1];
}

} // namespace Ostrevan
