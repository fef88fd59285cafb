// Segment interpolation shared by every shape table: Linear, Spline and Lagrange over
// nodes given in table units. Evaluation runs in float; callers clamp and store.
#pragma once

#include <cmath>

#include "ShapeString.h"

namespace shape_detail {

// The line through (x0, y0) with slope dy / dx evaluated at x; a zero run gives a flat line.
inline float lineAt(float x, float x0, float y0, float dy, float dx)
{
    return dx != 0.0f ? y0 + (x - x0) * dy / dx : y0;
}

// Quadratic Lagrange polynomial through nodes a-1, a, a+1.
inline float lagrangeAt(const Node* p, int a, float x)
{
    const float x0 = p[a - 1].x, x1 = p[a].x, x2 = p[a + 1].x;
    const float l0 = (x - x1) * (x - x2) / ((x0 - x1) * (x0 - x2));
    const float l1 = (x - x0) * (x - x2) / ((x1 - x0) * (x1 - x2));
    const float l2 = (x - x0) * (x - x1) / ((x2 - x0) * (x2 - x1));
    return p[a - 1].y * l0 + p[a].y * l1 + p[a + 1].y * l2;
}

}  // namespace shape_detail

// Calls store(index, value) for every table position of every segment: positions
// X(k), X(k)+1 ... while below X(k+1) (the last segment includes its end node), index
// = (int)position. Modes: 0 Linear, 1 Spline, 2 Lagrange; other values below 0 act as
// Linear and above 2 as Lagrange. Indices outside 0 .. tableSize-1 are skipped, and a
// value that is not finite (nodes crowded onto one position) falls back to the linear
// value, so tables never hold NaN.
template <class Store>
void interpolateSegments(const Node* p, int n, int mode, int tableSize, Store store)
{
    using shape_detail::lagrangeAt;
    using shape_detail::lineAt;
    if (n < 2)
        return;
    for (int k = 0; k + 1 < n; ++k) {
        const bool first = k == 0;
        const bool last = k == n - 2;
        const float x0 = p[k].x, x1 = p[k + 1].x, y0 = p[k].y, y1 = p[k + 1].y;
        const float end = last ? x1 + 1.0f : x1;
        const float span = x1 - x0;
        for (float x = x0; x < end; x += 1.0f) {
            const int index = static_cast<int>(x);
            if (index < 0 || index >= tableSize)
                continue;
            const float u = (x - x0) / span;
            const float linear = (1.0f - u) * y0 + u * y1;
            float a = y0, b = y1;
            if (mode == interpolationSpline && n > 2) {
                const float chord = lineAt(x, x0, y0, y1 - y0, span);
                if (first) {
                    a = chord;
                    b = lineAt(x, x1, y1, p[k + 2].y - y0, p[k + 2].x - x0);
                } else if (last) {
                    a = lineAt(x, x0, y0, y1 - p[k - 1].y, x1 - p[k - 1].x);
                    b = chord;
                } else {
                    const float t0 = lineAt(x, x0, y0, y1 - p[k - 1].y, x1 - p[k - 1].x);
                    const float t1 = lineAt(x, x1, y1, p[k + 2].y - y0, p[k + 2].x - x0);
                    a = (1.0f - u) * t0 + u * chord;
                    b = u * t1 + (1.0f - u) * chord;
                }
            } else if (mode >= interpolationLagrange && n > 2) {
                if (first) {
                    a = b = lagrangeAt(p, 1, x);
                } else if (last) {
                    a = b = lagrangeAt(p, k, x);
                } else {
                    a = lagrangeAt(p, k, x);
                    b = lagrangeAt(p, k + 1, x);
                }
            }
            float value = (mode <= interpolationLinear || n == 2) ? linear : (1.0f - u) * a + u * b;
            if (!std::isfinite(value))
                value = std::isfinite(linear) ? linear : y0;
            store(index, value);
        }
    }
}
