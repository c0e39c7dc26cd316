#include "tracking/pose.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Ostrevan {

namespace {

constexpr double kSearchStep = 0.17453292519943295; // ten degrees

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

double dot(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

bool normalise(double v[3]) {
    const double length = std::sqrt(dot(v, v));
    if (!(length > 0.0) || !std::isfinite(length)) {
        return false;
    }
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
    return true;
}

// Inverse of a 3 x 3 matrix by its adjugate. False when singular.
bool invert3(const double m[3][3], double out[3][3]) {
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (det == 0.0 || !std::isfinite(det)) {
        return false;
    }
    out[0][0] = c00 / det;
    out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    out[1][0] = c01 / det;
    out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    out[2][0] = c02 / det;
    out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}

// Least-squares translation for a fixed rotation (the pinhole part of P only).
bool solveTranslation(const CameraParameters& camera, const double r[3][3], const double observed[][2],
                      const double model[][2], int n, double t[3]) {
    const auto& P = camera.projection;
    double ata[3][3] = {};
    double atb[3] = {};
    for (int k = 0; k < n; ++k) {
        const double X = model[k][0];
        const double Y = model[k][1];
        const double r0 = r[0][0] * X + r[0][1] * Y;
        const double r1 = r[1][0] * X + r[1][1] * Y;
        const double r2 = r[2][0] * X + r[2][1] * Y;
        const double x = observed[k][0];
        const double y = observed[k][1];
        const double rows[2][4] = {
            {P[0][0], P[0][1], P[0][2] - x, x * r2 - (P[0][0] * r0 + P[0][1] * r1 + P[0][2] * r2)},
            {0.0, P[1][1], P[1][2] - y, y * r2 - (P[1][1] * r1 + P[1][2] * r2)},
        };
        for (const auto& row : rows) {
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    ata[i][j] += row[i] * row[j];
                }
                atb[i] += row[i] * row[3];
            }
        }
    }
    double inverse[3][3];
    if (!invert3(ata, inverse)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        t[i] = inverse[i][0] * atb[0] + inverse[i][1] * atb[1] + inverse[i][2] * atb[2];
    }
    return std::isfinite(t[0]) && std::isfinite(t[1]) && std::isfinite(t[2]);
}

// refinePose with the model moved to the centre of its bounding box, the translation moved back.
double refineCentred(const CameraParameters& camera, double r[3][3], double t[3], const double ideal[4][2],
                     const double model[4][2]) {
    double minX = model[0][0];
    double maxX = model[0][0];
    double minY = model[0][1];
    double maxY = model[0][1];
    for (int k = 1; k < 4; ++k) {
        minX = std::fmin(minX, model[k][0]);
        maxX = std::fmax(maxX, model[k][0]);
        minY = std::fmin(minY, model[k][1]);
        maxY = std::fmax(maxY, model[k][1]);
    }
    const double shiftX = -(minX + maxX) / 2.0;
    const double shiftY = -(minY + maxY) / 2.0;
    double centred[4][2];
    for (int k = 0; k < 4; ++k) {
        centred[k][0] = model[k][0] + shiftX;
        centred[k][1] = model[k][1] + shiftY;
    }
    const double error = refinePose(camera, r, t, ideal, centred, 4);
    for (int i = 0; i < 3; ++i) {
        t[i] += r[i][0] * shiftX + r[i][1] * shiftY;
    }
    return error;
}

bool finitePose(const double r[3][3], const double t[3], double error) {
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(t[i])) {
            return false;
        }
        for (int j = 0; j < 3; ++j) {
            if (!std::isfinite(r[i][j])) {
                return false;
            }
        }
    }
    return std::isfinite(error) && error >= 0.0;
}

// Sum of squared distances between the projected model points and the image points.
double reprojection(const CameraParameters& camera, const double r[3][3], const double t[3],
                    const double ideal[4][2], const double model[4][2], double residuals[8]) {
    const auto& P = camera.projection;
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) {
        double c[3];
        for (int i = 0; i < 3; ++i) {
            c[i] = r[i][0] * model[k][0] + r[i][1] * model[k][1] + t[i];
        }
        const double h = P[2][0] * c[0] + P[2][1] * c[1] + P[2][2] * c[2] + P[2][3];
        const double u = (P[0][0] * c[0] + P[0][1] * c[1] + P[0][2] * c[2] + P[0][3]) / h;
        const double v = (P[1][0] * c[0] + P[1][1] * c[1] + P[1][2] * c[2] + P[1][3]) / h;
        residuals[2 * k] = u - ideal[k][0];
        residuals[2 * k + 1] = v - ideal[k][1];
        sum += residuals[2 * k] * residuals[2 * k] + residuals[2 * k + 1] * residuals[2 * k + 1];
    }
    return sum;
}

// The pose turned by the small rotation w (axis times angle, applied in camera space) and moved
// by dt.
void applyStep(const double w[3], const double dt[3], const double r[3][3], const double t[3],
               double outR[3][3], double outT[3]) {
    const double angle = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    double turn[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    if (angle > 0.0) {
        const double k[3] = {w[0] / angle, w[1] / angle, w[2] / angle};
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        const double v = 1.0 - c;
        turn[0][0] = c + k[0] * k[0] * v;
        turn[0][1] = k[0] * k[1] * v - k[2] * s;
        turn[0][2] = k[0] * k[2] * v + k[1] * s;
        turn[1][0] = k[1] * k[0] * v + k[2] * s;
        turn[1][1] = c + k[1] * k[1] * v;
        turn[1][2] = k[1] * k[2] * v - k[0] * s;
        turn[2][0] = k[2] * k[0] * v - k[1] * s;
        turn[2][1] = k[2] * k[1] * v + k[0] * s;
        turn[2][2] = c + k[2] * k[2] * v;
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            outR[i][j] = turn[i][0] * r[0][j] + turn[i][1] * r[1][j] + turn[i][2] * r[2][j];
        }
        outT[i] = t[i] + dt[i];
    }
}

// Solves the 6 x 6 system a x = b by elimination with partial pivoting. False when singular.
bool solve6(double a[6][6], double b[6], double x[6]) {
    for (int col = 0; col < 6; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 6; ++row) {
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) {
                pivot = row;
            }
        }
        if (!(std::fabs(a[pivot][col]) > 1e-300)) {
            return false;
        }
        if (pivot != col) {
            std::swap(a[pivot], a[col]);
            std::swap(b[pivot], b[col]);
        }
        for (int row = col + 1; row < 6; ++row) {
            const double f = a[row][col] / a[col][col];
            for (int k = col; k < 6; ++k) {
                a[row][k] -= f * a[col][k];
            }
            b[row] -= f * b[col];
        }
    }
    for (int row = 5; row >= 0; --row) {
        double sum = b[row];
        for (int k = row + 1; k < 6; ++k) {
            sum -= a[row][k] * x[k];
        }
        x[row] = sum / a[row][row];
    }
    return true;
}

} // namespace

// The rotation search moves in steps and stops once the corners fit within a pixel on average;
// a few Gauss-Newton steps on the six pose parameters then bring the corners to the least
// squares fit. Returns the mean squared pixel error per corner.
double polishPose(const CameraParameters& camera, const double ideal[4][2], const double model[4][2],
                  double r[3][3], double t[3]) {
    double residuals[8];
    double error = reprojection(camera, r, t, ideal, model, residuals);
    for (int iteration = 0; iteration < 8 && error > 1e-12; ++iteration) {
        double jacobian[8][6];
        const double scale = std::max(1.0, std::fabs(t[2]));
        for (int p = 0; p < 6; ++p) {
            double w[3] = {0.0, 0.0, 0.0};
            double dt[3] = {0.0, 0.0, 0.0};
            const double h = p < 3 ? 1e-7 : 1e-7 * scale;
            (p < 3 ? w[p] : dt[p - 3]) = h;
            double movedR[3][3];
            double movedT[3];
            applyStep(w, dt, r, t, movedR, movedT);
            double moved[8];
            reprojection(camera, movedR, movedT, ideal, model, moved);
            for (int k = 0; k < 8; ++k) {
                jacobian[k][p] = (moved[k] - residuals[k]) / h;
            }
        }
        double normal[6][6] = {};
        double gradient[6] = {};
        for (int i = 0; i < 6; ++i) {
            for (int j = 0; j < 6; ++j) {
                for (int k = 0; k < 8; ++k) {
                    normal[i][j] += jacobian[k][i] * jacobian[k][j];
                }
            }
            for (int k = 0; k < 8; ++k) {
                gradient[i] -= jacobian[k][i] * residuals[k];
            }
            normal[i][i] *= 1.0 + 1e-9;
        }
        double step[6];
        if (!solve6(normal, gradient, step)) {
            break;
        }
        double nextR[3][3];
        double nextT[3];
        applyStep(step, step + 3, r, t, nextR, nextT);
        double nextResiduals[8];
        const double next = reprojection(camera, nextR, nextT, ideal, model, nextResiduals);
        if (!(next < error)) {
            break;
        }
        std::copy(&nextR[0][0], &nextR[0][0] + 9, &r[0][0]);
        std::copy(nextT, nextT + 3, t);
        std::copy(nextResiduals, nextResiduals + 8, residuals);
        const bool settled = error - next < 1e-9 * error;
        error = next;
        if (settled) {
            break;
        }
    }
    return error / 4.0;
}

namespace {

// Up to five refinements from the given rotation. Returns the error, or -1.
double fit(const CameraParameters& camera, const DetectedMarker& marker, const double centre[2], double width,
           double r[3][3], double t[3], int* refinements) {
    const int direction = marker.direction;
    double ideal[4][2];
    for (int k = 0; k < 4; ++k) {
        const int corner = (4 - direction + k) % 4;
        ideal[k][0] = marker.corners[corner][0];
        ideal[k][1] = marker.corners[corner][1];
    }
    const double half = width / 2.0;
    const double model[4][2] = {{centre[0] - half, centre[1] + half},
                                {centre[0] + half, centre[1] + half},
                                {centre[0] + half, centre[1] - half},
                                {centre[0] - half, centre[1] - half}};
    double error = -1.0;
    int rounds = 0;
    while (rounds < 5) {
        error = refineCentred(camera, r, t, ideal, model);
        ++rounds;
        if (error < 0.0) {
            return -1.0;
        }
        if (error < 1.0) {
            break;
        }
    }
    if (refinements != nullptr) {
        *refinements = rounds;
    }
    if (!finitePose(r, t, error)) {
        return -1.0;
    }
    // Polishing can leave the finite too, with a camera of extreme values.
    const double polished = polishPose(camera, ideal, model, r, t);
    return finitePose(r, t, polished) && polished >= 0.0 ? polished : -1.0;
}

void writePose(const double r[3][3], const double t[3], double pose[3][4]) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            pose[i][j] = r[i][j];
        }
        pose[i][3] = t[i];
    }
}

// Clamps a cosine/sine pair the way the angle recovery needs it.
void clampPair(double* c, double* s) {
    if (*c > 1.0) {
        *c = 1.0;
        *s = 0.0;
    } else if (*c < -1.0) {
        *c = -1.0;
        *s = 0.0;
    } else if (*s > 1.0) {
        *s = 1.0;
        *c = 0.0;
    } else if (*s < -1.0) {
        *s = -1.0;
        *c = 0.0;
    }
}

double angleOf(double c, double s) {
    const double angle = std::acos(c);
    return s < 0.0 ? -angle : angle;
}

} // namespace

void anglesToRotation(double a, double b, double c, double R[3][3]) {
    const double ca = std::cos(a);
    const double sa = std::sin(a);
    const double cb = std::cos(b);
    const double sb = std::sin(b);
    const double cc = std::cos(c);
    const double sc = std::sin(c);
    R[0][0] = ca * ca * cb * cc + sa * sa * cc + sa * ca * cb * sc - sa * ca * sc;
    R[0][1] = -ca * ca * cb * sc - sa * sa * sc + sa * ca * cb * cc - sa * ca * cc;
    R[0][2] = ca * sb;
    R[1][0] = sa * ca * cb * cc - sa * ca * cc + sa * sa * cb * sc + ca * ca * sc;
    R[1][1] = -sa * ca * cb * sc + sa * ca * sc + sa * sa * cb * cc + ca * ca * cc;
    R[1][2] = sa * sb;
    R[2][0] = -ca * sb * cc - sa * sb * sc;
    R[2][1] = ca * sb * sc - sa * sb * cc;
    R[2][2] = cb;
}

void rotationToAngles(const double R[3][3], double* a, double* b, double* c) {
    double r22 = R[2][2];
    if (r22 > 1.0) {
        r22 = 1.0;
    } else if (r22 < -1.0) {
        r22 = -1.0;
    }
    double angleB = std::acos(r22);
    double angleA;
    double cc;
    double sc;
    const double d = R[1][2] * R[1][2] + R[0][2] * R[0][2];
    if (std::fabs(angleB) >= 0.000001 && d != 0.0) {
        const double sb = std::sin(angleB);
        double ca = R[0][2] / sb;
        double sa = R[1][2] / sb;
        clampPair(&ca, &sa);
        angleA = angleOf(ca, sa);
        cc = -(R[2][0] * R[0][2] + R[1][2] * R[2][1]) / d;
        sc = (R[0][2] * R[2][1] - R[2][0] * R[1][2]) / d;
    } else if (std::fabs(angleB) >= 0.000001) {
        // Pointing straight back at the camera (b = pi): only a - c matters; take a = 0.
        angleA = 0.0;
        cc = R[0][0] / r22;
        sc = R[1][0];
    } else {
        angleA = 0.0;
        angleB = 0.0;
        cc = R[0][0];
        sc = R[1][0];
    }
    clampPair(&cc, &sc);
    *a = angleA;
    *b = angleB;
    *c = angleOf(cc, sc);
}

double searchRotation(const CameraParameters& camera, double rotation[3][3], const double translation[3],
                      const double observed[][2], const double model[][2], int n) {
    const auto& P = camera.projection;
    double a;
    double b;
    double c;
    rotationToAngles(rotation, &a, &b, &c);
    double step = kSearchStep;
    // The translation is fixed: the fourth column of P * [R | t] is the same for every candidate.
    double m3[3];
    for (int r = 0; r < 3; ++r) {
        m3[r] = P[r][0] * translation[0] + P[r][1] * translation[1] + P[r][2] * translation[2] + P[r][3];
    }
    double minimum = 1000000000.0;
    for (int round = 0; round < 10; ++round) {
        double cosA[3], sinA[3], cosB[3], sinB[3], cosC[3], sinC[3];
        for (int i = 0; i < 3; ++i) {
            const double offset = (i - 1) * step;
            cosA[i] = std::cos(a + offset);
            sinA[i] = std::sin(a + offset);
            cosB[i] = std::cos(b + offset);
            sinB[i] = std::sin(b + offset);
            cosC[i] = std::cos(c + offset);
            sinC[i] = std::sin(c + offset);
            // (-1) * step and 0 * step are exact, so a + offset is a + i * step as searched.
        }
        minimum = 1000000000.0;
        int best[3] = {1, 1, 1};
        for (int i = 0; i < 3; ++i) {
            const double ca = cosA[i];
            const double sa = sinA[i];
            for (int j = 0; j < 3; ++j) {
                const double cb = cosB[j];
                const double sb = sinB[j];
                for (int k = 0; k < 3; ++k) {
                    const double cc = cosC[k];
                    const double sc = sinC[k];
                    // The first two columns of anglesToRotation: model points have z = 0.
                    const double r00 = ca * ca * cb * cc + sa * sa * cc + sa * ca * cb * sc - sa * ca * sc;
                    const double r01 = -ca * ca * cb * sc - sa * sa * sc + sa * ca * cb * cc - sa * ca * cc;
                    const double r10 = sa * ca * cb * cc - sa * ca * cc + sa * sa * cb * sc + ca * ca * sc;
                    const double r11 = -sa * ca * cb * sc + sa * ca * sc + sa * sa * cb * cc + ca * ca * cc;
                    const double r20 = -ca * sb * cc - sa * sb * sc;
                    const double r21 = ca * sb * sc - sa * sb * cc;
                    const double m00 = P[0][0] * r00 + P[0][1] * r10 + P[0][2] * r20;
                    const double m01 = P[0][0] * r01 + P[0][1] * r11 + P[0][2] * r21;
                    const double m10 = P[1][0] * r00 + P[1][1] * r10 + P[1][2] * r20;
                    const double m11 = P[1][0] * r01 + P[1][1] * r11 + P[1][2] * r21;
                    const double m20 = P[2][0] * r00 + P[2][1] * r10 + P[2][2] * r20;
                    const double m21 = P[2][0] * r01 + P[2][1] * r11 + P[2][2] * r21;
                    double error = 0.0;
                    for (int p = 0; p < n; ++p) {
                        const double X = model[p][0];
                        const double Y = model[p][1];
                        const double h = m20 * X + m21 * Y + m3[2];
#if defined(__SSE2__)
                        // Both quotients in one instruction; each lane is the same IEEE division.
                        const __m128d q = _mm_div_pd(
                            _mm_set_pd(m10 * X + m11 * Y + m3[1], m00 * X + m01 * Y + m3[0]), _mm_set1_pd(h));
                        const double ex = observed[p][0] - _mm_cvtsd_f64(q);
                        const double ey = observed[p][1] - _mm_cvtsd_f64(_mm_unpackhi_pd(q, q));
#else
                        const double ex = observed[p][0] - (m00 * X + m01 * Y + m3[0]) / h;
                        const double ey = observed[p][1] - (m10 * X + m11 * Y + m3[1]) / h;
#endif
                        error += ex * ex + ey * ey;
                    }
                    if (error < minimum) {
                        minimum = error;
                        best[0] = i;
                        best[1] = j;
                        best[2] = k;
                    }
                }
            }
        }
        if (best[0] == 1 && best[1] == 1 && best[2] == 1) {
            step *= 0.5;
        } else {
            a = a + (best[0] - 1) * step;
            b = b + (best[1] - 1) * step;
            c = c + (best[2] - 1) * step;
        }
    }
    anglesToRotation(a, b, c, rotation);
    return minimum / n;
}

double refinePose(const CameraParameters& camera, double rotation[3][3], double translation[3],
                  const double ideal[][2], const double model[][2], int n) {
    if (n < 1 || n > 4) {
        return -1.0;
    }
    // The projection P is distortion-free, so the points it is compared with are too: fitting
    // the observed (distorted) points to it would bend the pose wherever the lens bends the
    // picture, by several per cent towards the frame's edges.
    if (!solveTranslation(camera, rotation, ideal, model, n, translation)) {
        return -1.0;
    }
    searchRotation(camera, rotation, translation, ideal, model, n);
    if (!solveTranslation(camera, rotation, ideal, model, n, translation)) {
        return -1.0;
    }
    return searchRotation(camera, rotation, translation, ideal, model, n);
}

bool initialRotation(const CameraParameters& camera, const DetectedMarker& marker, double rotation[3][3]) {
    const auto& P = camera.projection;
    const int direction = marker.direction;
    if (direction < 0 || direction > 3) {
        return false;
    }
    // Vanishing directions of the two pairs of opposite sides: each line and the camera centre
    // span a plane, and the two planes of a pair meet along the sides' common direction.
    double axes[2][3];
    for (int pair = 0; pair < 2; ++pair) {
        double normals[2][3];
        for (int side = 0; side < 2; ++side) {
            const double* l = marker.lines[(4 + pair + 2 * side - direction) % 4];
            normals[side][0] = P[0][0] * l[0];
            normals[side][1] = P[0][1] * l[0] + P[1][1] * l[1];
            normals[side][2] = P[0][2] * l[0] + P[1][2] * l[1] + l[2];
        }
        cross(normals[0], normals[1], axes[pair]);
        if (!normalise(axes[pair])) {
            return false;
        }
    }

    // Point each direction along its side as seen in the image.
    double K[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            K[r][c] = P[r][c];
        }
    }
    double inverse[3][3];
    if (!invert3(K, inverse)) {
        return false;
    }
    const int sides[2][2] = {{(4 - direction) % 4, (5 - direction) % 4},
                             {(7 - direction) % 4, (4 - direction) % 4}};
    for (int pair = 0; pair < 2; ++pair) {
        const double* s = marker.corners[sides[pair][0]];
        const double* e = marker.corners[sides[pair][1]];
        const double homogeneous[3] = {s[0], s[1], 1.0};
        double p0[3];
        double p1[3];
        for (int r = 0; r < 3; ++r) {
            p0[r] = 10.0 * dot(inverse[r], homogeneous);
            p1[r] = p0[r] + axes[pair][r];
        }
        const double w0 = dot(K[2], p0);
        const double w1 = dot(K[2], p1);
        if (w0 == 0.0 || w1 == 0.0) {
            return false;
        }
        const double x0 = dot(K[0], p0) / w0;
        const double y0 = dot(K[1], p0) / w0;
        const double x1 = dot(K[0], p1) / w1;
        const double y1 = dot(K[1], p1) / w1;
        if ((e[0] - s[0]) * (x1 - x0) + (e[1] - s[1]) * (y1 - y0) < 0.0) {
            for (double& v : axes[pair]) {
                v = -v;
            }
        }
    }

    // Turn both directions by the same angle, in their common plane, until they are perpendicular.
    double normal[3];
    cross(axes[0], axes[1], normal);
    if (!normalise(normal)) {
        return false;
    }
    const double c = std::fabs(dot(axes[0], axes[1]));
    const double cosPhi = (std::sqrt(std::fmax(0.0, 1.0 - c)) + std::sqrt(1.0 + c)) / 2.0;
    const double sinPhi = std::sqrt(std::fmax(0.0, 1.0 - cosPhi * cosPhi));
    double candidates[2][2][3];
    for (int axis = 0; axis < 2; ++axis) {
        double across[3];
        cross(normal, axes[axis], across);
        if (!normalise(across)) {
            return false;
        }
        for (int sign = 0; sign < 2; ++sign) {
            const double turn = sign == 0 ? sinPhi : -sinPhi;
            for (int r = 0; r < 3; ++r) {
                candidates[axis][sign][r] = cosPhi * axes[axis][r] + turn * across[r];
            }
        }
    }
    int best1 = 0;
    int best2 = 0;
    double smallest = 2.0;
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            const double d = std::fabs(dot(candidates[0][i], candidates[1][j]));
            if (d < smallest) {
                smallest = d;
                best1 = i;
                best2 = j;
            }
        }
    }
    double x[3];
    double y[3];
    double z[3];
    for (int r = 0; r < 3; ++r) {
        x[r] = candidates[0][best1][r];
        y[r] = candidates[1][best2][r];
    }
    cross(x, y, z);
    if (!normalise(z)) {
        return false;
    }
    for (int r = 0; r < 3; ++r) {
        rotation[r][0] = x[r];
        rotation[r][1] = y[r];
        rotation[r][2] = z[r];
    }
    return true;
}

double estimatePose(const CameraParameters& camera, const DetectedMarker& marker, const double centre[2],
                    double width, double pose[3][4], int* refinements) {
    if (marker.direction < 0 || marker.direction > 3) {
        return -1.0;
    }
    double r[3][3];
    if (!initialRotation(camera, marker, r)) {
        return -1.0;
    }
    double t[3] = {};
    const double error = fit(camera, marker, centre, width, r, t, refinements);
    if (error < 0.0) {
        return -1.0;
    }
    writePose(r, t, pose);
    return error;
}

double estimatePoseContinuous(const CameraParameters& camera, const DetectedMarker& marker,
                              const double previous[3][4], const double centre[2], double width,
                              double pose[3][4]) {
    if (marker.direction < 0 || marker.direction > 3) {
        return -1.0;
    }
    double r[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i][j] = previous[i][j];
        }
    }
    double t[3] = {};
    const double error = fit(camera, marker, centre, width, r, t, nullptr);
    if (error >= 0.0 && error <= 1.0) {
        writePose(r, t, pose);
        return error;
    }
    double fresh[3][4];
    const double freshError = estimatePose(camera, marker, centre, width, fresh);
    if (freshError >= 0.0 && (error < 0.0 || freshError < error)) {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 4; ++j) {
                pose[i][j] = fresh[i][j];
            }
        }
        return freshError;
    }
    if (error < 0.0) {
        return -1.0;
    }
    writePose(r, t, pose);
    return error;
}

} // namespace Ostrevan
