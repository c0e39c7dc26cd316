#pragma once

#include <cstdint>

// Camera calibration of the marker library: the record, its file, its adaptation to another
// frame size and the lens distortion model.
namespace Ostrevan {

// Largest frame side the library accepts from a camera file or a caller. Larger values come
// only from damaged or hostile files and would make the detector's work memory absurd.
constexpr int kMaxFrameSide = 8192;

struct CameraParameters {
    int32_t width = 0;  // frame width in pixels this calibration belongs to
    int32_t height = 0; // frame height in pixels
    // Pinhole projection P, row-major, mapping camera coordinates (x right, y down, z forward)
    // to ideal (distortion-free) pixel coordinates: pixel = P * (x, y, z, 1).
    double projection[3][4] = {};
    // Lens distortion: centre x and y (pixels), factor f (radial, in units of 1e-8 per pixel
    // squared) and scale s (ideal pixels per observed pixel before the radial term).
    double distortion[4] = {};
};

// Size of one record of the binary camera file: width, height, 12 projection and 4 distortion
// values, all big-endian.
constexpr int kCameraFileSize = 136;

// Whether a record describes a usable camera: a frame size within 1..kMaxFrameSide, finite
// values, a distortion scale other than 0.
bool cameraIsUsable(const CameraParameters& camera);

// Reads the first record of a camera file. Returns 0, or -1 when the file cannot be opened, is
// shorter than one record, or holds values no camera has (a width or height of 0, negative or
// above kMaxFrameSide, a value that is not a finite number, a distortion scale of 0). On -1 the
// destination is left untouched.
int loadCameraParameters(const char* fileName, CameraParameters* destination);

// Decodes one record from memory; the same checks and result as loadCameraParameters.
int decodeCameraParameters(const unsigned char* bytes, long size, CameraParameters* destination);

// Encodes a record in the file format (kCameraFileSize bytes) into `bytes`.
void encodeCameraParameters(const CameraParameters& camera, unsigned char* bytes);

// Writes one record as a camera file. Returns 0, or -1 when the file cannot be written.
int saveCameraParameters(const char* fileName, const CameraParameters& camera);

// Adapts a calibration to another frame size. The focal and centre terms and the distortion
// centre are multiplied by the width ratio, the distortion factor divided by its square. A frame
// of another aspect than the file's is taken as the camera's cropped mode (a 16:9 mode of a 4:3
// sensor drops rows at the top and bottom alike): the centre rows move by half the rows that
// differ. Returns 0, or -1 (result untouched) when a size is not a usable frame size.
int scaleCameraParameters(const CameraParameters& source, int width, int height, CameraParameters* result);

// Whether a calibration was made for a frame of another aspect than width x height (beyond the
// rounding of a size to whole pixels): scaleCameraParameters then guesses at a cropped mode.
bool madeForOtherAspect(const CameraParameters& camera, int width, int height);

// Removes lens distortion from an observed pixel position (three Newton steps).
void observedToIdeal(const double distortion[4], double ox, double oy, double* ix, double* iy);

// Applies lens distortion to an ideal pixel position.
void idealToObserved(const double distortion[4], double ix, double iy, double* ox, double* oy);

} // namespace Ostrevan
