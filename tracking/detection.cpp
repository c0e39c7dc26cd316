#include "tracking/detection.h"

#include "tracking/pattern.h"
#include "tracking/pose.h"
#include "tracking/texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace Ostrevan {

namespace {

// Steps of the eight neighbour directions, clockwise on the screen from "up".
constexpr int kStepX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kStepY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

// Deeper than this, a corner search has found more corners than a square may have: every
// enclosing call appends one corner before it can succeed, and the seventh append fails.
constexpr int kMaxSplitDepth = 8;

bool split(const int32_t* x, const int32_t* y, int s, int e, double threshold, int32_t* list, int* count,
           int depth) {
    const int64_t a = static_cast<int64_t>(y[e]) - y[s];
    const int64_t b = static_cast<int64_t>(x[s]) - x[e];
    const int64_t c = static_cast<int64_t>(y[s]) * x[e] - static_cast<int64_t>(y[e]) * x[s];
    int64_t largest = 0;
    int farthest = -1;
    for (int i = s + 1; i < e; ++i) {
        const int64_t d = a * x[i] + b * y[i] + c;
        if (d * d > largest) {
            largest = d * d;
            farthest = i;
        }
    }
    if (farthest < 0 || !(static_cast<double>(largest) / static_cast<double>(a * a + b * b) > threshold)) {
        return true;
    }
    if (depth >= kMaxSplitDepth) {
        return false;
    }
    if (!split(x, y, s, farthest, threshold, list, count, depth + 1)) {
        return false;
    }
    if (*count > 5) {
        return false;
    }
    list[(*count)++] = farthest;
    return split(x, y, farthest, e, threshold, list, count, depth + 1);
}

double squaredDistance(const double a[2], const double b[2]) {
    const double dx = a[0] - b[0];
    const double dy = a[1] - b[1];
    return dx * dx + dy * dy;
}

// Index of the current marker that a history entry stands for, or -1.
int matchingMarker(const DetectedMarker& remembered, const DetectedMarker* markers, int count) {
    int best = -1;
    double bestDistance = 0.5;
    for (int j = 0; j < count; ++j) {
        const DetectedMarker& m = markers[j];
        if (m.area <= 0) {
            continue;
        }
        const double ratio = static_cast<double>(remembered.area) / m.area;
        if (ratio < 0.7 || ratio > 1.43) {
            continue;
        }
        const double distance = squaredDistance(m.centre, remembered.centre) / m.area;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = j;
        }
    }
    return best;
}

// Sum of bytes 0..2 at a sub-pixel position (pixel centres at whole coordinates), interpolated
// between the four pixels around it. False outside the frame.
bool greyAt(const FrameView& frame, double x, double y, double* value) {
    if (!(x >= 0.0 && y >= 0.0 && x < frame.width - 1 && y < frame.height - 1)) {
        return false;
    }
    const int ix = static_cast<int>(x);
    const int iy = static_cast<int>(y);
    const double fx = x - ix;
    const double fy = y - iy;
    const uint8_t* a = frame.at(ix, iy);
    const uint8_t* b = a + frame.pixelSize;
    const uint8_t* c = frame.at(ix, iy + 1);
    const uint8_t* d = c + frame.pixelSize;
    const double top = (a[0] + a[1] + a[2]) * (1.0 - fx) + (b[0] + b[1] + b[2]) * fx;
    const double bottom = (c[0] + c[1] + c[2]) * (1.0 - fx) + (d[0] + d[1] + d[2]) * fx;
    *value = top * (1.0 - fy) + bottom * fy;
    return true;
}

// The principal axis through points (distortion-free) as a line a x + b y + c = 0.
bool fitLine(const double (*points)[2], int n, double line[3]) {
    if (n < 2) {
        return false;
    }
    const double originX = points[0][0];
    const double originY = points[0][1];
    double sumX = 0.0, sumY = 0.0, sumXX = 0.0, sumXY = 0.0, sumYY = 0.0;
    for (int i = 0; i < n; ++i) {
        const double dx = points[i][0] - originX;
        const double dy = points[i][1] - originY;
        sumX += dx;
        sumY += dy;
        sumXX += dx * dx;
        sumXY += dx * dy;
        sumYY += dy * dy;
    }
    const double meanX = originX + sumX / n;
    const double meanY = originY + sumY / n;
    const double sxx = sumXX - sumX * sumX / n;
    const double sxy = sumXY - sumX * sumY / n;
    const double syy = sumYY - sumY * sumY / n;
    const double half = (sxx - syy) * 0.5;
    const double largest = (sxx + syy) * 0.5 + std::sqrt(half * half + sxy * sxy);
    double u;
    double v;
    if (sxx >= syy) {
        u = largest - syy;
        v = sxy;
    } else {
        u = sxy;
        v = largest - sxx;
    }
    const double norm = std::sqrt(u * u + v * v);
    if (!(norm > 0.0) || !std::isfinite(norm)) {
        return false;
    }
    line[0] = v / norm;
    line[1] = -u / norm;
    line[2] = -(line[0] * meanX + line[1] * meanY);
    return true;
}

bool cornersOfLines(DetectedMarker* marker) {
    for (int i = 0; i < 4; ++i) {
        const double* previous = marker->lines[(i + 3) % 4];
        const double* line = marker->lines[i];
        const double w = previous[0] * line[1] - previous[1] * line[0];
        if (w == 0.0) {
            return false;
        }
        marker->corners[i][0] = (previous[1] * line[2] - previous[2] * line[1]) / w;
        marker->corners[i][1] = (previous[2] * line[0] - line[2] * previous[0]) / w;
    }
    return true;
}

// Least confidence of an identified marker; below it a square is listed with id -1.
constexpr double kIdentified = 0.5;

constexpr int kGreySums = 766; // sums of bytes 0..2 of a pixel: 0..765

// Otsu's split of a histogram of kGreySums bins, all of whose counts lie in [lowest, highest]:
// the largest value of the darker class (-1 when every value is the same), the darker class's
// count and both classes' means.
struct GreySplit {
    int level = -1;
    int darkerCount = 0;
    double darkerMean = 0.0;
    double lighterMean = 0.0;
};

GreySplit otsuSplit(const int* histogram, int lowest, int highest) {
    double total = 0.0;
    double sum = 0.0;
    for (int v = lowest; v <= highest; ++v) {
        total += histogram[v];
        sum += static_cast<double>(v) * histogram[v];
    }
    GreySplit split;
    double darker = 0.0;
    double darkerSum = 0.0;
    double best = 0.0;
    for (int v = lowest; v < highest; ++v) {
        darker += histogram[v];
        darkerSum += static_cast<double>(v) * histogram[v];
        const double lighter = total - darker;
        if (darker == 0.0 || lighter == 0.0) {
            continue;
        }
        const double darkerMean = darkerSum / darker;
        const double lighterMean = (sum - darkerSum) / lighter;
        const double between = darker * lighter * (lighterMean - darkerMean) * (lighterMean - darkerMean);
        if (between > best) {
            best = between;
            split.level = v;
            split.darkerCount = static_cast<int>(darker);
            split.darkerMean = darkerMean;
            split.lighterMean = lighterMean;
        }
    }
    return split;
}

constexpr int kEdgeReach = 4;          // pixels looked at on either side of a contour point
constexpr int kEdgeSamples = 24;       // edge points per side, at most
constexpr double kEdgeContrast = 24.0; // least difference of dark and light, sum of three bytes

} // namespace

bool refineSideLines(const FrameView& frame, const SquareCandidate& candidate, const double distortion[4],
                     DetectedMarker* marker) {
    if (!frame.valid()) {
        return false;
    }
    DetectedMarker refined = *marker;
    for (int side = 0; side < 4; ++side) {
        const int s = candidate.corners[side];
        const int e = candidate.corners[side + 1];
        const double sx = candidate.contourX[s];
        const double sy = candidate.contourY[s];
        const double ex = candidate.contourX[e];
        const double ey = candidate.contourY[e];
        const double length = std::hypot(ex - sx, ey - sy);
        if (length < 4.0) {
            continue;
        }
        // The side's normal, pointing away from the region: from dark to light.
        double nx = (ey - sy) / length;
        double ny = -(ex - sx) / length;
        if ((sx + ex) * 0.5 * nx + (sy + ey) * 0.5 * ny <
            candidate.centre[0] * nx + candidate.centre[1] * ny) {
            nx = -nx;
            ny = -ny;
        }
        const double w = (e - s + 1) * 0.05 + 0.5;
        const int first = static_cast<int>(s + w);
        const int last = static_cast<int>(e - w);
        const int count = last - first + 1;
        if (count < 2) {
            continue;
        }
        const int stride = std::max(1, count / kEdgeSamples);
        double points[kEdgeSamples * 2 + 2][2];
        int n = 0;
        for (int i = first; i <= last && n < kEdgeSamples * 2 + 2; i += stride) {
            const double px = candidate.contourX[i];
            const double py = candidate.contourY[i];
            double profile[2 * kEdgeReach + 1];
            bool inside = true;
            double lo = 1e9;
            double hi = -1e9;
            for (int k = -kEdgeReach; k <= kEdgeReach && inside; ++k) {
                inside = greyAt(frame, px + k * nx, py + k * ny, &profile[k + kEdgeReach]);
                lo = std::min(lo, profile[k + kEdgeReach]);
                hi = std::max(hi, profile[k + kEdgeReach]);
            }
            if (!inside || hi - lo < kEdgeContrast) {
                continue;
            }
            // The edge is where the profile crosses halfway between dark and light, going outwards;
            // of several crossings, the one nearest the contour's own edge (half a pixel out).
            const double level = (lo + hi) * 0.5;
            double offset = 0.0;
            double nearest = 1e9;
            for (int k = 0; k < 2 * kEdgeReach; ++k) {
                if (profile[k] <= level && profile[k + 1] > level) {
                    const double at = k - kEdgeReach + (level - profile[k]) / (profile[k + 1] - profile[k]);
                    if (std::fabs(at - 0.5) < nearest) {
                        nearest = std::fabs(at - 0.5);
                        offset = at;
                    }
                }
            }
            if (nearest > 2.5) {
                continue;
            }
            observedToIdeal(distortion, px + offset * nx, py + offset * ny, &points[n][0], &points[n][1]);
            ++n;
        }
        if (n < 3 || n * stride < count / 3) {
            continue; // too few clear edge points: the contour's own line stays
        }
        double line[3];
        if (!fitLine(points, n, line)) {
            continue;
        }
        // Points of something else touching the edge (a finger, a shadow) leave the line once.
        int kept = 0;
        for (int i = 0; i < n; ++i) {
            if (std::fabs(line[0] * points[i][0] + line[1] * points[i][1] + line[2]) < 1.0) {
                points[kept][0] = points[i][0];
                points[kept][1] = points[i][1];
                ++kept;
            }
        }
        if (kept < n && (kept < 3 || !fitLine(points, kept, line))) {
            continue;
        }
        std::copy(line, line + 3, refined.lines[side]);
    }
    if (!cornersOfLines(&refined)) {
        return false;
    }
    // A refinement that moves a corner far from the contour's corner has followed something else.
    for (int k = 0; k < 4; ++k) {
        const double dx = refined.corners[k][0] - marker->corners[k][0];
        const double dy = refined.corners[k][1] - marker->corners[k][1];
        if (dx * dx + dy * dy > 9.0) {
            return false;
        }
    }
    *marker = refined;
    return true;
}

Library::Library() = default;
Library::~Library() = default;

bool Library::setDetectorCamera(const CameraParameters& camera) {
    if (!cameraIsUsable(camera)) {
        return false;
    }
    camera_ = camera;
    hasCamera_ = true;
    return true;
}

void Library::setParameters(const DetectorParameters& parameters) {
    parameters_ = parameters;
    parameters_.maxCandidates = std::clamp(parameters_.maxCandidates, 1, kMaxSquares);
    parameters_.areaMinimum = std::max(1, parameters_.areaMinimum);
    if (!(parameters_.areaMaximumFraction > 0.0) || !std::isfinite(parameters_.areaMaximumFraction)) {
        parameters_.areaMaximumFraction = DetectorParameters().areaMaximumFraction;
    }
    parameters_.areaMaximumFraction = std::min(parameters_.areaMaximumFraction, 1.0);
    if (!(parameters_.cornerFactor > 0.0) || !std::isfinite(parameters_.cornerFactor)) {
        parameters_.cornerFactor = DetectorParameters().cornerFactor;
    }
    if (std::isnan(parameters_.refineConfidence)) {
        parameters_.refineConfidence = DetectorParameters().refineConfidence;
    }
    if (std::isnan(parameters_.lookAgainFill)) {
        parameters_.lookAgainFill = DetectorParameters().lookAgainFill;
    }
}

bool traceContour(const Labelling& labels, int region, SquareCandidate* candidate) {
    if (region < 1 || region > labels.regionCount()) {
        std::printf("%s", Texts::contourNoStart);
        return false;
    }
    const Region& r = labels.region(region);
    const int sx = r.start[0];
    const int sy = r.start[1];
    if (labels.regionAt(sx, sy) != region) {
        std::printf("%s", Texts::contourNoStart);
        return false;
    }
    int32_t* xs = candidate->contourX;
    int32_t* ys = candidate->contourY;
    xs[0] = sx;
    ys[0] = sy;
    int n = 1;
    int direction = 5;
    // Dark pixels never lie on the outermost rows and columns, so every neighbour looked at
    // lies inside the frame.
    for (;;) {
        direction = (direction + 5) % 8;
        const int px = xs[n - 1];
        const int py = ys[n - 1];
        int tries = 0;
        while (tries < 8 && !labels.dark(px + kStepX[direction], py + kStepY[direction])) {
            direction = (direction + 1) % 8;
            ++tries;
        }
        if (tries == 8) {
            std::printf("%s", Texts::contourIsolated);
            return false;
        }
        xs[n] = px + kStepX[direction];
        ys[n] = py + kStepY[direction];
        if (xs[n] == sx && ys[n] == sy) {
            break;
        }
        ++n;
        if (n == kMaxContour - 1) {
            std::printf("%s", Texts::contourTooLong);
            return false;
        }
    }
    // Start the contour at the point farthest from the first pixel: a corner of any square.
    int farthest = 0;
    int64_t largest = 0;
    for (int i = 1; i < n; ++i) {
        const int64_t dx = xs[i] - sx;
        const int64_t dy = ys[i] - sy;
        const int64_t d = dx * dx + dy * dy;
        if (d > largest) {
            largest = d;
            farthest = i;
        }
    }
    std::rotate(xs, xs + farthest, xs + n);
    std::rotate(ys, ys + farthest, ys + n);
    xs[n] = xs[0];
    ys[n] = ys[0];
    candidate->contourLength = n + 1;
    return true;
}

bool splitAtFarthest(const int32_t* x, const int32_t* y, int s, int e, double threshold, int32_t* list,
                     int* count) {
    return split(x, y, s, e, threshold, list, count, 0);
}

bool checkSquare(SquareCandidate* candidate, int area, double factor) {
    const int length = candidate->contourLength;
    const int32_t* xs = candidate->contourX;
    const int32_t* ys = candidate->contourY;
    int far = 0;
    int64_t largest = 0;
    for (int i = 1; i < length - 1; ++i) {
        const int64_t dx = static_cast<int64_t>(xs[i]) - xs[0];
        const int64_t dy = static_cast<int64_t>(ys[i]) - ys[0];
        const int64_t d = dx * dx + dy * dy;
        if (d > largest) {
            largest = d;
            far = i;
        }
    }
    if (far == 0) {
        return false;
    }
    const double threshold = area * 1.3333333333333333 * factor * 0.01;
    int32_t a[8];
    int32_t b[8];
    int na = 0;
    int nb = 0;
    if (!splitAtFarthest(xs, ys, 0, far, threshold, a, &na) ||
        !splitAtFarthest(xs, ys, far, length - 1, threshold, b, &nb)) {
        return false;
    }
    int32_t* corners = candidate->corners;
    if (na == 1 && nb == 1) {
        corners[0] = 0;
        corners[1] = a[0];
        corners[2] = far;
        corners[3] = b[0];
    } else if (na > 1 && nb == 0) {
        const int half = far / 2;
        na = 0;
        nb = 0;
        if (!splitAtFarthest(xs, ys, 0, half, threshold, a, &na) ||
            !splitAtFarthest(xs, ys, half, far, threshold, b, &nb) || na != 1 || nb != 1) {
            return false;
        }
        corners[0] = 0;
        corners[1] = a[0];
        corners[2] = b[0];
        corners[3] = far;
    } else if (na == 0 && nb > 1) {
        const int middle = (length + far - 1) / 2;
        na = 0;
        nb = 0;
        if (!splitAtFarthest(xs, ys, far, middle, threshold, a, &na) ||
            !splitAtFarthest(xs, ys, middle, length - 1, threshold, b, &nb) || na != 1 || nb != 1) {
            return false;
        }
        corners[0] = 0;
        corners[1] = far;
        corners[2] = a[0];
        corners[3] = b[0];
    } else {
        return false;
    }
    corners[4] = length - 1;
    return true;
}

namespace {

// Whether a point lies inside the quadrilateral of four corners given in order round it
// (either way round).
bool insideQuadrilateral(const double corners[4][2], double x, double y) {
    int sides = 0;
    for (int k = 0; k < 4; ++k) {
        const double* a = corners[k];
        const double* b = corners[(k + 1) % 4];
        const double cross = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
        sides += cross > 0.0 ? 1 : cross < 0.0 ? -1 : 0;
    }
    return sides == 4 || sides == -4;
}

// The pixels inside a traced contour, the contour's own included: the polygon through the outer
// pixels' centres, plus the half pixel beyond them along the way round.
double outlineArea(const SquareCandidate& traced) {
    const int32_t* x = traced.contourX;
    const int32_t* y = traced.contourY;
    int64_t twice = 0;
    for (int i = 0; i + 1 < traced.contourLength; ++i) {
        twice += static_cast<int64_t>(x[i]) * y[i + 1] - static_cast<int64_t>(x[i + 1]) * y[i];
    }
    return std::abs(static_cast<double>(twice)) * 0.5 + (traced.contourLength - 1) * 0.5 + 1.0;
}

} // namespace

double squareFill(const SquareCandidate& candidate, int area) {
    double x[4];
    double y[4];
    for (int k = 0; k < 4; ++k) {
        x[k] = candidate.contourX[candidate.corners[k]];
        y[k] = candidate.contourY[candidate.corners[k]];
    }
    double perimeter = 0.0;
    double enclosed = 0.0;
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        perimeter += std::hypot(x[n] - x[k], y[n] - y[k]);
        enclosed += x[k] * y[n] - x[n] * y[k];
    }
    // The contour runs through the outer pixels' centres: the region reaches half a pixel
    // beyond, about half a pixel times the perimeter.
    return area / (std::abs(enclosed) * 0.5 + perimeter * 0.5 + 1.0);
}

double squareLikelihood(const SquareCandidate& candidate, int area) {
    double shortest = 0.0;
    double longest = 0.0;
    for (int k = 0; k < 4; ++k) {
        const int a = candidate.corners[k];
        const int b = candidate.corners[(k + 1) % 4];
        const double side = std::hypot(candidate.contourX[b] - candidate.contourX[a],
                                       candidate.contourY[b] - candidate.contourY[a]);
        shortest = k == 0 ? side : std::min(shortest, side);
        longest = std::max(longest, side);
    }
    const double hollow = squareFill(candidate, area) < kHollowFill ? 2.0 : 0.0;
    const double even = longest > 0.0 ? shortest / longest : 0.0;
    return hollow + even + 0.25 * std::min(1.0, area / 2000.0);
}

SquareCollector::SquareCollector() : tracing_(std::make_unique<SquareCandidate>()) {}
SquareCollector::~SquareCollector() = default;

SquareCollector::Offer SquareCollector::offer(const Labelling& labels, int region, int areaMinimum,
                                              int areaMaximum, double factor, int order,
                                              const Placement& place, double* fill) {
    const Region& r = labels.region(region);
    if (r.area < areaMinimum || r.area > areaMaximum) {
        return Offer::Skipped;
    }
    const int right = (place.frameWidth > 0 ? place.frameWidth : labels.width()) - 2;
    const int bottom = (place.frameHeight > 0 ? place.frameHeight : labels.height()) - 2;
    if (r.box[0] + place.dx <= 1 || r.box[1] + place.dx >= right || r.box[2] + place.dy <= 1 ||
        r.box[3] + place.dy >= bottom) {
        return Offer::AtTheEdge;
    }
    SquareCandidate& traced = *tracing_;
    if (!traceContour(labels, region, &traced)) {
        return Offer::Skipped;
    }
    if (!checkSquare(&traced, r.area, factor)) {
        if (fill != nullptr) {
            *fill = r.area / outlineArea(traced);
        }
        return Offer::NoSquare;
    }
    Kept kept;
    kept.area = r.area;
    kept.centre[0] = r.centre[0] + place.dx;
    kept.centre[1] = r.centre[1] + place.dy;
    kept.order = order;
    kept.region = place.frameWidth > 0 ? 0 : region;
    kept.score = squareLikelihood(traced, r.area);
    kept.first = xs_.size();
    kept.length = traced.contourLength;
    std::copy(traced.corners, traced.corners + 5, kept.corners);
    for (int i = 0; i < traced.contourLength; ++i) {
        xs_.push_back(traced.contourX[i] + place.dx);
        ys_.push_back(traced.contourY[i] + place.dy);
    }
    kept_.push_back(kept);
    return Offer::Square;
}

bool SquareCollector::encloses(double x, double y, int area) const {
    for (const Kept& square : kept_) {
        if (square.area <= area) {
            continue;
        }
        double corners[4][2];
        for (int k = 0; k < 4; ++k) {
            corners[k][0] = xs_[square.first + static_cast<size_t>(square.corners[k])];
            corners[k][1] = ys_[square.first + static_cast<size_t>(square.corners[k])];
        }
        if (insideQuadrilateral(corners, x, y)) {
            return true;
        }
    }
    return false;
}

int SquareCollector::take(SquareCandidate* candidates, int capacity, int* regions) {
    capacity = std::clamp(capacity, 0, kMaxSquares);
    std::vector<int>& chosen = chosen_;
    chosen.resize(kept_.size());
    for (size_t i = 0; i < kept_.size(); ++i) {
        chosen[i] = static_cast<int>(i);
    }
    auto inOrder = [this](int a, int b) { return kept_[a].order < kept_[b].order; };
    std::stable_sort(chosen.begin(), chosen.end(), inOrder);
    if (static_cast<int>(chosen.size()) > capacity) {
        // More squares than room: the likeliest markers, taken in order again.
        std::stable_sort(chosen.begin(), chosen.end(),
                         [this](int a, int b) { return kept_[a].score > kept_[b].score; });
        chosen.resize(static_cast<size_t>(capacity));
        std::stable_sort(chosen.begin(), chosen.end(), inOrder);
    }
    const int count = static_cast<int>(chosen.size());

    // Of two candidates with close centres keep the larger, of two equal ones the later.
    bool removed[kMaxSquares] = {};
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const Kept& a = kept_[chosen[i]];
            const Kept& b = kept_[chosen[j]];
            const double d = squaredDistance(a.centre, b.centre);
            if (a.area > b.area) {
                if (d < a.area / 4) {
                    removed[j] = true;
                }
            } else if (d < b.area / 4) {
                removed[i] = true;
            }
        }
    }
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        if (removed[i]) {
            continue;
        }
        const Kept& from = kept_[chosen[i]];
        if (regions != nullptr) {
            regions[stored] = from.region;
        }
        SquareCandidate& to = candidates[stored++];
        to.area = from.area;
        to.centre[0] = from.centre[0];
        to.centre[1] = from.centre[1];
        to.contourLength = from.length;
        std::copy(xs_.begin() + from.first, xs_.begin() + from.first + from.length, to.contourX);
        std::copy(ys_.begin() + from.first, ys_.begin() + from.first + from.length, to.contourY);
        std::copy(from.corners, from.corners + 5, to.corners);
    }
    return stored;
}

int findSquares(const Labelling& labels, int areaMinimum, int areaMaximum, double factor,
                SquareCandidate* candidates, int capacity) {
    thread_local SquareCollector collector;
    collector.clear();
    for (int label = 1; label <= labels.regionCount(); ++label) {
        collector.offer(labels, label, areaMinimum, areaMaximum, factor, label, SquareCollector::Placement());
    }
    return collector.take(candidates, capacity);
}

bool fitSideLines(const SquareCandidate& candidate, const double distortion[4], DetectedMarker* marker) {
    std::vector<double> coordinates; // the side's points, free of distortion, x and y in turn
    for (int side = 0; side < 4; ++side) {
        const int s = candidate.corners[side];
        const int e = candidate.corners[side + 1];
        const double w = (e - s + 1) * 0.05 + 0.5;
        const int first = static_cast<int>(s + w);
        const int last = static_cast<int>(e - w);
        const int n = last - first + 1;
        if (n < 2 || first < 0 || last >= candidate.contourLength) {
            return false;
        }
        coordinates.resize(2 * static_cast<size_t>(n));
        auto* points = reinterpret_cast<double(*)[2]>(coordinates.data());
        for (int i = first; i <= last; ++i) {
            observedToIdeal(distortion, candidate.contourX[i], candidate.contourY[i], &points[i - first][0],
                            &points[i - first][1]);
        }
        if (!fitLine(points, n, marker->lines[side])) {
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        const double* previous = marker->lines[(i + 3) % 4];
        const double* line = marker->lines[i];
        const double w = previous[0] * line[1] - previous[1] * line[0];
        if (w == 0.0) {
            return false;
        }
        marker->corners[i][0] = (previous[1] * line[2] - previous[2] * line[1]) / w;
        marker->corners[i][1] = (previous[2] * line[0] - line[2] * previous[0]) / w;
    }
    return true;
}

namespace {

// The identity of the pattern between four corners (frame coordinates, clockwise on the screen);
// unidentified when nothing can be sampled there.
void identify(const FrameView& frame, const double corners[4][2], const PatternTable& patterns,
              DetectedMarker* marker) {
    SampledPattern sample;
    if (samplePattern(frame, corners, &sample)) {
        patterns.match(sample, &marker->id, &marker->direction, &marker->confidence);
    } else {
        marker->id = -1;
        marker->direction = -1;
        marker->confidence = -1.0;
    }
}

// The sides of a candidate as the lines through its contour's corners, freed of distortion.
bool cornerLines(const SquareCandidate& candidate, const double distortion[4], DetectedMarker* marker) {
    double ideal[4][2];
    for (int k = 0; k < 4; ++k) {
        observedToIdeal(distortion, candidate.contourX[candidate.corners[k]],
                        candidate.contourY[candidate.corners[k]], &ideal[k][0], &ideal[k][1]);
    }
    for (int side = 0; side < 4; ++side) {
        const double* from = ideal[side];
        const double* to = ideal[(side + 1) % 4];
        const double length = std::hypot(to[0] - from[0], to[1] - from[1]);
        if (!(length > 0.0)) {
            return false;
        }
        double* line = marker->lines[side];
        line[0] = (to[1] - from[1]) / length;
        line[1] = -(to[0] - from[0]) / length;
        line[2] = -(line[0] * from[0] + line[1] * from[1]);
    }
    return cornersOfLines(marker);
}

} // namespace

namespace {

// One candidate as describeMarkers describes it; `corners` receives the frame points between
// which its pattern was last sampled. False when its lines cannot be fitted.
bool describe(const SquareCandidate& candidate, const FrameView& frame, const double distortion[4],
              const PatternTable& patterns, const DetectorParameters& parameters,
              const MarkerHistory* history, DetectedMarker* marker, double corners[4][2]) {
    marker->area = candidate.area;
    marker->centre[0] = candidate.centre[0];
    marker->centre[1] = candidate.centre[1];
    for (int k = 0; k < 4; ++k) {
        corners[k][0] = candidate.contourX[candidate.corners[k]];
        corners[k][1] = candidate.contourY[candidate.corners[k]];
    }
    // Fitting and refining the sides is most of the work for a square, and most solid squares of
    // a busy picture (tiles, windows, a chessboard's fields) show no pattern even between the
    // contour's corners: they are listed with the lines through those corners. A small square's
    // corners lie too far off for that first look, and a hollow one is likely a marker.
    if (candidate.area >= parameters.refineArea && squareFill(candidate, candidate.area) >= kHollowFill) {
        identify(frame, corners, patterns, marker);
        if (marker->confidence < parameters.refineConfidence &&
            (history == nullptr || !history->remembers(*marker))) {
            return cornerLines(candidate, distortion, marker);
        }
    }
    if (!fitSideLines(candidate, distortion, marker)) {
        return false;
    }
    if (refineSideLines(frame, candidate, distortion, marker)) {
        // The pattern is sampled between the refined corners, where the picture shows them.
        for (int k = 0; k < 4; ++k) {
            idealToObserved(distortion, marker->corners[k][0], marker->corners[k][1], &corners[k][0],
                            &corners[k][1]);
        }
    }
    identify(frame, corners, patterns, marker);
    return true;
}

} // namespace

int describeMarkers(const SquareCandidate* candidates, int count, const FrameView& frame,
                    const double distortion[4], const PatternTable& patterns, DetectedMarker* markers,
                    const DetectorParameters& parameters, const MarkerHistory* history, bool skipPatterns) {
    count = std::clamp(count, 0, kMaxSquares);
    int order[kMaxSquares];
    for (int i = 0; i < count; ++i) {
        order[i] = i;
    }
    if (skipPatterns) {
        // The largest first, so that a marker is known before the squares of its pattern.
        std::stable_sort(order, order + count,
                         [&](int a, int b) { return candidates[a].area > candidates[b].area; });
    }
    DetectedMarker described[kMaxSquares];
    bool listed[kMaxSquares] = {};
    double identified[kMaxSquares][4][2];
    int identifiedCount = 0;
    for (int n = 0; n < count; ++n) {
        const int i = order[n];
        const SquareCandidate& candidate = candidates[i];
        bool inPattern = false;
        for (int m = 0; m < identifiedCount && !inPattern; ++m) {
            inPattern = insideQuadrilateral(identified[m], candidate.centre[0], candidate.centre[1]);
        }
        if (inPattern) {
            continue;
        }
        double corners[4][2];
        listed[i] =
            describe(candidate, frame, distortion, patterns, parameters, history, &described[i], corners);
        if (skipPatterns && listed[i] && described[i].confidence >= kIdentified) {
            std::copy(&corners[0][0], &corners[0][0] + 8, &identified[identifiedCount++][0][0]);
        }
    }
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        if (listed[i]) {
            markers[stored++] = described[i];
        }
    }
    return stored;
}

bool MarkerHistory::remembers(const DetectedMarker& marker) const {
    for (int h = 0; h < count_; ++h) {
        if (matchingMarker(entries_[h].marker, &marker, 1) == 0) {
            return true;
        }
    }
    return false;
}

void MarkerHistory::apply(DetectedMarker* markers, int* count, int capacity) {
    const int n = std::min(*count, capacity);

    // A marker whose identification is weaker than the one remembered at its place takes the
    // remembered one, turned to match its corners.
    for (int h = 0; h < count_; ++h) {
        const DetectedMarker& remembered = entries_[h].marker;
        const int j = matchingMarker(remembered, markers, n);
        if (j < 0 || !(markers[j].confidence < remembered.confidence)) {
            continue;
        }
        DetectedMarker& m = markers[j];
        m.confidence = remembered.confidence;
        m.id = remembered.id;
        double smallest = 100000000.0;
        int turn = 0;
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += squaredDistance(remembered.corners[k], m.corners[(k + r) % 4]);
            }
            if (sum < smallest) {
                smallest = sum;
                turn = r;
            }
        }
        m.direction = (remembered.direction - turn + 4) % 4;
    }
    for (int j = 0; j < n; ++j) {
        if (markers[j].confidence < kIdentified) {
            markers[j].id = -1;
        }
    }

    int kept = 0;
    for (int h = 0; h < count_; ++h) {
        if (++entries_[h].age < 4) {
            entries_[kept++] = entries_[h];
        }
    }
    count_ = kept;

    for (int j = 0; j < n; ++j) {
        if (markers[j].id < 0) {
            continue;
        }
        int h = 0;
        while (h < count_ && entries_[h].marker.id != markers[j].id) {
            ++h;
        }
        if (h == count_) {
            if (count_ == kMaxHistory) {
                continue;
            }
            ++count_;
        }
        entries_[h].marker = markers[j];
        entries_[h].age = 1;
    }

    // Remembered markers that nothing in this frame stands for are still reported.
    int persisted[kMaxHistory];
    int extra = 0;
    for (int h = 0; h < count_; ++h) {
        if (matchingMarker(entries_[h].marker, markers, n) < 0) {
            persisted[extra++] = h;
        }
    }
    if (n + extra <= capacity) {
        for (int i = 0; i < extra; ++i) {
            markers[n + i] = entries_[persisted[i]].marker;
        }
        *count = n + extra;
        return;
    }

    // More than the list holds: keep the most confident, in list order.
    const int total = n + extra;
    auto confidenceOf = [&](int i) {
        return i < n ? markers[i].confidence : entries_[persisted[i - n]].marker.confidence;
    };
    int order[kMaxSquares + kMaxHistory];
    int all = 0;
    for (int i = 0; i < total && all < kMaxSquares + kMaxHistory; ++i) {
        order[all++] = i;
    }
    std::stable_sort(order, order + all, [&](int a, int b) { return confidenceOf(a) > confidenceOf(b); });
    bool keep[kMaxSquares + kMaxHistory] = {};
    for (int i = 0; i < capacity && i < all; ++i) {
        keep[order[i]] = true;
    }
    int out = 0;
    for (int i = 0; i < n; ++i) {
        if (keep[i]) {
            markers[out++] = markers[i];
        }
    }
    for (int i = n; i < all; ++i) {
        if (keep[i]) {
            markers[out++] = entries_[persisted[i - n]].marker;
        }
    }
    *count = out;
}

std::optional<std::vector<DetectedMarker>> Library::detectMarkers(const FrameView& frame, int threshold,
                                                                  bool local) {
    if (!hasCamera_ || !frame.valid() || frame.width != camera_.width || frame.height != camera_.height) {
        return std::nullopt;
    }
    if (!labelImage(frame, threshold, local, parameters_, &labels_)) {
        return std::nullopt;
    }
    if (!squares_) {
        squares_ = std::make_unique<SquareCandidate[]>(kMaxSquares);
    }
    const int areaMaximum = parameters_.areaMaximum(frame.width, frame.height);
    collector_.clear();
    unsquare_.clear();
    for (int label = 1; label <= labels_.regionCount(); ++label) {
        double fill = 1.0;
        const SquareCollector::Offer offer =
            collector_.offer(labels_, label, parameters_.areaMinimum, areaMaximum, parameters_.cornerFactor,
                             label, SquareCollector::Placement(), &fill);
        // A region at the frame's edge may be a marker joined to something that leaves the
        // picture; it was not traced, and its fill is unknown.
        if ((offer == SquareCollector::Offer::NoSquare && fill <= parameters_.lookAgainFill) ||
            offer == SquareCollector::Offer::AtTheEdge) {
            if (labels_.region(label).area >= parameters_.lookAgainMinimumArea) {
                unsquare_.push_back(label);
            }
        }
    }
    if (local && parameters_.lookAgain) {
        for (const int region : unsquare_) {
            // Inside a square found already lies its pattern, not a marker of its own.
            const Region& r = labels_.region(region);
            if (!collector_.encloses(r.centre[0], r.centre[1], r.area)) {
                lookAgain(frame, region);
            }
        }
    }
    const int squares = collector_.take(squares_.get(), parameters_.maxCandidates, squareRegions_);
    DetectedMarker markers[kMaxSquares];
    int found = describeMarkers(squares_.get(), squares, frame, camera_.distortion, patterns_, markers,
                                parameters_, &history_, local);
    if (local && parameters_.lookAgain) {
        found = lookAgainAtUnnamed(frame, squares, markers, found);
    }
    history_.apply(markers, &found, kMaxSquares);
    return std::vector<DetectedMarker>(markers, markers + found);
}

// Where the local threshold joins a marker's black border to something lighter than the ink but
// still darker than its surroundings (paper in a deep shadow beside the border, the speckles of
// a shadow's soft edge), the region is no square. Its own pixels then hold two kinds of grey:
// the ink, and the lighter rest. Split at Otsu's level of the region's own grey values, the ink
// stands alone again, and its squares are offered like those of the first look.
void Library::lookAgain(const FrameView& frame, int region) {
    // The level of a large region is as good from every second pixel of every second row.
    const int step = labels_.region(region).area >= 4096 ? 2 : 1;
    int histogram[kGreySums];
    int lowest = kGreySums - 1;
    int highest = 0;
    std::fill(histogram, histogram + kGreySums, 0);
    labels_.visitRuns(region, [&](int y, int x0, int x1) {
        if (y % step != 0) {
            return;
        }
        const size_t stride = static_cast<size_t>(frame.pixelSize) * step;
        const uint8_t* p = frame.at(x0 + (x0 & (step - 1)), y);
        for (int x = x0 + (x0 & (step - 1)); x <= x1; x += step, p += stride) {
            const int value = p[0] + p[1] + p[2];
            ++histogram[value];
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
        }
    });
    GreySplit split = otsuSplit(histogram, lowest, highest);
    split.darkerCount *= step * step;
    // The two kinds must differ as ink and paper do: the paper at least twice as light, however
    // little light falls on it, and by more than the noise of one grey.
    if (split.level < 0 || split.darkerCount < parameters_.areaMinimum ||
        split.lighterMean < 2.0 * split.darkerMean ||
        split.lighterMean < split.darkerMean + 3.0 * parameters_.lookAgainContrast) {
        return;
    }
    const Region& r = labels_.region(region);
    SquareCollector::Placement place;
    place.dx = r.box[0] - 2;
    place.dy = r.box[2] - 2;
    place.frameWidth = frame.width;
    place.frameHeight = frame.height;
    if (!labelRegionPart(frame, labels_, region, split.level, &again_)) {
        return;
    }
    const int areaMaximum = parameters_.areaMaximum(frame.width, frame.height);
    for (int label = 1; label <= again_.regionCount(); ++label) {
        collector_.offer(again_, label, parameters_.areaMinimum, areaMaximum, parameters_.cornerFactor,
                         region, place);
    }
}

// A hollow square whose pattern names none may be a marker whose border took in a little of the
// shaded paper beside it and kept four corners, which then lie off the ink's. Its region is looked
// at again; a marker the ink alone names takes the unnamed square's place in the list.
int Library::lookAgainAtUnnamed(const FrameView& frame, int squares, DetectedMarker* markers, int found) {
    collector_.clear();
    for (int i = 0; i < squares; ++i) {
        const SquareCandidate& square = squares_[i];
        if (squareRegions_[i] == 0 || squareFill(square, square.area) >= kHollowFill) {
            continue;
        }
        bool named = false;
        for (int j = 0; j < found && !named; ++j) {
            named = markers[j].centre[0] == square.centre[0] && markers[j].centre[1] == square.centre[1] &&
                    markers[j].confidence >= kIdentified;
        }
        if (!named) {
            lookAgain(frame, squareRegions_[i]);
        }
    }
    if (collector_.size() == 0) {
        return found;
    }
    if (!retried_) {
        retried_ = std::make_unique<SquareCandidate[]>(kMaxSquares);
    }
    const int more = collector_.take(retried_.get(), kMaxSquares);
    DetectedMarker again[kMaxSquares];
    const int described = describeMarkers(retried_.get(), more, frame, camera_.distortion, patterns_, again,
                                          parameters_, &history_, true);
    for (int k = 0; k < described; ++k) {
        if (again[k].confidence < kIdentified) {
            continue;
        }
        int place = found < kMaxSquares ? found : -1;
        for (int j = 0; j < found; ++j) {
            if (markers[j].confidence < kIdentified &&
                squaredDistance(markers[j].centre, again[k].centre) < markers[j].area / 4) {
                place = j;
                break;
            }
        }
        if (place == found) {
            ++found;
        }
        if (place >= 0) {
            markers[place] = again[k];
        }
    }
    return found;
}

double Library::estimatePose(const DetectedMarker& marker, const double centre[2], double width,
                             double pose[3][4], int* refinements) const {
    if (!hasCamera_) {
        return -1.0;
    }
    return Ostrevan::estimatePose(camera_, marker, centre, width, pose, refinements);
}

double Library::estimatePoseContinuous(const DetectedMarker& marker, const double previous[3][4],
                                       const double centre[2], double width, double pose[3][4]) const {
    if (!hasCamera_) {
        return -1.0;
    }
    return Ostrevan::estimatePoseContinuous(camera_, marker, previous, centre, width, pose);
}

} // namespace Ostrevan
