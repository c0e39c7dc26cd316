#include "tracking/lens.h"

#include <algorithm>
#include <cmath>

namespace Ostrevan {

namespace {

double tangentOfDegrees(double degrees) {
    return std::tan(degrees * M_PI / 180.0);
}

// Keeps a side pair inside the sane angles; a pair narrower than the least angle widens
// around its middle.
void clampSides(double& low, double& high) {
    const double most = tangentOfDegrees(kMaxViewHalfAngle);
    const double least = 2.0 * tangentOfDegrees(kMinViewAngle / 2.0);
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = -1.0;
        high = 1.0;
    }
    low = std::clamp(low, -most, most);
    high = std::clamp(high, -most, most);
    if (high - low < least) {
        const double middle = std::clamp((low + high) / 2.0, -most + least / 2.0, most - least / 2.0);
        low = middle - least / 2.0;
        high = middle + least / 2.0;
    }
}

// Whether an ideal point lies beyond the radius where the lens model turns back on itself (its
// observed radius stops growing), as far outside a frame as letterbox bands can reach.
bool beyondTheLens(const double distortion[4], double ix, double iy) {
    const double x = (ix - distortion[0]) * distortion[3];
    const double y = (iy - distortion[1]) * distortion[3];
    return 1.0 - 3.0 * (x * x + y * y) * distortion[2] * 1e-8 <= 0.0;
}

} // namespace

CameraParameters idealCamera(int width, int height) {
    CameraParameters camera;
    camera.width = width;
    camera.height = height;
    const double focal = width / 2.0 / tangentOfDegrees(30.0);
    const double cx = (width - 1.0) / 2.0;
    const double cy = (height - 1.0) / 2.0;
    const double projection[3][4] = {{focal, 0, cx, 0}, {0, focal, cy, 0}, {0, 0, 1, 0}};
    std::copy(&projection[0][0], &projection[0][0] + 12, &camera.projection[0][0]);
    camera.distortion[0] = cx;
    camera.distortion[1] = cy;
    camera.distortion[2] = 0.0;
    camera.distortion[3] = 1.0;
    return camera;
}

ViewExtents frameView(const CameraParameters* camera, int width, int height, double viewportAspect) {
    ViewExtents view;
    if (width <= 0 || height <= 0) {
        return view;
    }
    const CameraParameters ideal = idealCamera(width, height);
    const CameraParameters& c = camera != nullptr ? *camera : ideal;
    const double fx = c.projection[0][0];
    const double fy = c.projection[1][1];
    const double cx = c.projection[0][2];
    const double cy = c.projection[1][2];
    if (fx == 0.0 || fy == 0.0) {
        clampSides(view.left, view.right);
        clampSides(view.bottom, view.top);
        return view;
    }
    // The frame's edges (pixel centres lie at whole coordinates) as directions at depth 1; the
    // screen's x runs against the camera's.
    const double x0 = (-0.5 - cx) / fx;
    const double x1 = (width - 0.5 - cx) / fx;
    const double y0 = (-0.5 - cy) / fy;
    const double y1 = (height - 0.5 - cy) / fy;
    const double frameWidth = std::fabs(x1 - x0);
    const double frameHeight = std::fabs(y1 - y0);
    const double middleX = -(x0 + x1) / 2.0;
    const double middleY = (y0 + y1) / 2.0;
    double halfWidth = frameWidth / 2.0;
    double halfHeight = frameHeight / 2.0;
    if (viewportAspect > 0.0 && std::isfinite(viewportAspect) && frameHeight > 0.0) {
        if (frameWidth / frameHeight >= viewportAspect) {
            halfHeight = halfWidth / viewportAspect; // bands above and below
        } else {
            halfWidth = halfHeight * viewportAspect; // bands at the sides
        }
    }
    view.left = middleX - halfWidth;
    view.right = middleX + halfWidth;
    view.bottom = middleY - halfHeight;
    view.top = middleY + halfHeight;
    clampSides(view.left, view.right);
    clampSides(view.bottom, view.top);
    return view;
}

std::vector<BackgroundVertex> backgroundGrid(const CameraParameters* camera, int width, int height,
                                             const ViewExtents& view, int columns, int rows) {
    std::vector<BackgroundVertex> grid;
    if (columns < 1 || rows < 1) {
        return grid;
    }
    grid.reserve(static_cast<size_t>(columns + 1) * (rows + 1));
    const bool sized = width > 0 && height > 0;
    const CameraParameters ideal = idealCamera(sized ? width : 1, sized ? height : 1);
    const CameraParameters& c = camera != nullptr ? *camera : ideal;
    for (int row = 0; row <= rows; ++row) {
        const double y = -1.0 + 2.0 * row / rows;
        for (int column = 0; column <= columns; ++column) {
            const double x = -1.0 + 2.0 * column / columns;
            BackgroundVertex vertex;
            vertex.x = static_cast<float>(x);
            vertex.y = static_cast<float>(y);
            double u = (1.0 - x) / 2.0;
            double v = (1.0 + y) / 2.0;
            if (sized) {
                // The direction drawn at this point of the screen (the view's x runs against the
                // camera's), in the camera's coordinates at depth 1.
                const double dx = -(view.left + (x + 1.0) / 2.0 * (view.right - view.left));
                const double dy = view.bottom + (y + 1.0) / 2.0 * (view.top - view.bottom);
                const auto& P = c.projection;
                const double w = P[2][0] * dx + P[2][1] * dy + P[2][2];
                if (w > 0.0) {
                    const double ix = (P[0][0] * dx + P[0][1] * dy + P[0][2]) / w;
                    const double iy = (P[1][0] * dx + P[1][1] * dy + P[1][2]) / w;
                    double ox;
                    double oy;
                    idealToObserved(c.distortion, ix, iy, &ox, &oy);
                    // Pixel centres lie at whole coordinates; texture coordinates at their edges.
                    u = (ox + 0.5) / width;
                    v = (oy + 0.5) / height;
                    if (beyondTheLens(c.distortion, ix, iy)) {
                        // The lens model folds back here, far outside the frame: the ideal
                        // position keeps the point outside instead of showing a ghost.
                        u = (ix + 0.5) / width;
                        v = (iy + 0.5) / height;
                    }
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
