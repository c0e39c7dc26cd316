#include "tracking/lens.h"

#include <cmath>

namespace Ostrevan {

std::vector<BackgroundVertex> backgroundGrid(const CameraParameters* camera, int width, int height,
                                             double fovY, double aspect, int columns, int rows) {
    std::vector<BackgroundVertex> grid;
    if (columns < 1 || rows < 1) {
        return grid;
    }
    grid.reserve(static_cast<size_t>(columns + 1) * (rows + 1));
    const bool lens =
        camera != nullptr && width > 0 && height > 0 && fovY > 0.0 && fovY < 180.0 && aspect > 0.0;
    const double tanY = lens ? std::tan(fovY * M_PI / 360.0) : 0.0;
    const double tanX = tanY * aspect;
    for (int row = 0; row <= rows; ++row) {
        const double y = -1.0 + 2.0 * row / rows;
        for (int column = 0; column <= columns; ++column) {
            const double x = -1.0 + 2.0 * column / columns;
            BackgroundVertex vertex;
            vertex.x = static_cast<float>(x);
            vertex.y = static_cast<float>(y);
            double u = (1.0 - x) / 2.0;
            double v = (1.0 + y) / 2.0;
            if (lens) {
                // The direction drawn at this point of the screen (the view's x runs against the
                // camera's), in the camera's coordinates at depth 1.
                const double dx = -x * tanX;
                const double dy = y * tanY;
                const auto& P = camera->projection;
                const double w = P[2][0] * dx + P[2][1] * dy + P[2][2];
                if (w > 0.0) {
                    const double ix = (P[0][0] * dx + P[0][1] * dy + P[0][2]) / w;
                    const double iy = (P[1][0] * dx + P[1][1] * dy + P[1][2]) / w;
                    double ox;
                    double oy;
                    idealToObserved(camera->distortion, ix, iy, &ox, &oy);
                    // Pixel centres lie at whole coordinates; texture coordinates at their edges.
                    u = (ox + 0.5) / width;
                    v = (oy + 0.5) / height;
                }
            }
            vertex.u = static_cast<float>(u);
            vertex.v = static_cast<float>(v);
            grid.push_back(vertex);
        }
    }
    return grid;
}

} // namespace Ostrevan
