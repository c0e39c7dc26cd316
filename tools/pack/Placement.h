#pragma once

#include "PackModel.h"

// Where a converted model stands: its bounds, and the uniform scale and lift that make it a
// given size and stand it on the marker. Skinned and animated models move as a whole: the
// vertices, their skeleton's root bones and those bones' key frames together.
namespace Pack {

struct Bounds {
    Vec3 low{{0, 0, 0}};
    Vec3 high{{0, 0, 0}};
    bool empty = true; // no vertex at all
    float largestSide() const;
};

// The box around every vertex in the binding pose, in content space.
Bounds boundsOf(const Model& model);

// Scales the model by factor about its origin, then moves it lift along +y (up).
void placeModel(Model& model, float factor, float lift);

} // namespace Pack
