#include "Placement.h"

#include <algorithm>

namespace Pack {

namespace {

Vec3 placed(const Vec3& p, float factor, float lift) {
    return {p[0] * factor, p[1] * factor + lift, p[2] * factor};
}

} // namespace

float Bounds::largestSide() const {
    return empty ? 0 : std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
}

Bounds boundsOf(const Model& model) {
    Bounds bounds;
    for (const Part& part : model.parts) {
        for (const Vertex& vertex : part.vertices) {
            for (int k = 0; k < 3; ++k) {
                bounds.low[k] =
                    bounds.empty ? vertex.position[k] : std::min(bounds.low[k], vertex.position[k]);
                bounds.high[k] =
                    bounds.empty ? vertex.position[k] : std::max(bounds.high[k], vertex.position[k]);
            }
            bounds.empty = false;
        }
    }
    return bounds;
}

void placeModel(Model& model, float factor, float lift) {
    for (Part& part : model.parts) {
        for (Vertex& vertex : part.vertices) {
            vertex.position = placed(vertex.position, factor, lift);
        }
    }
    // A root bone's transform is in content space: moving and scaling it takes its children and
    // the skin along. Key frames are absolute local transforms, so the root's move the same way.
    for (size_t b = 0; b < model.bones.size(); ++b) {
        Bone& bone = model.bones[b];
        if (bone.parent >= 0) {
            continue;
        }
        bone.position = placed(bone.position, factor, lift);
        for (float& s : bone.scale) {
            s *= factor;
        }
        for (Animation& animation : model.animations) {
            for (Track& track : animation.tracks) {
                if (track.bone != b) {
                    continue;
                }
                for (Key& key : track.keys) {
                    key.position = placed(key.position, factor, lift);
                    for (float& s : key.scale) {
                        s *= factor;
                    }
                }
            }
        }
    }
}

} // namespace Pack
