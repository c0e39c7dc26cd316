#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A model as velquin-pack writes it into a resource package, already in content space
// (millimetres, or whatever unit the scale chose; +y up, +z towards the viewer): triangle lists
// per material, a skeleton whose bones carry every animated or skinned part, and animations as
// absolute local bone transforms. ModelImport fills it from a file; OgreExport writes it out.
namespace Pack {

using Vec3 = std::array<float, 3>;
using Quat = std::array<float, 4>; // w, x, y, z

struct Vertex {
    Vec3 position{};
    Vec3 normal{};
    std::array<float, 2> uv{}; // v = 0 at the top row of the texture
};

struct BoneWeight {
    uint32_t vertex = 0;
    uint16_t bone = 0;
    float weight = 0;
};

// One sub-mesh: triangles of one material.
struct Part {
    std::string material;            // a name from Model::materials
    std::vector<Vertex> vertices;    // positions in the skeleton's binding pose
    std::vector<uint32_t> indices;   // three per triangle, counter-clockwise seen from the front
    std::vector<BoneWeight> weights; // empty when the model has no skeleton
};

struct Material {
    std::string name;
    std::array<float, 4> diffuse{{0.8f, 0.8f, 0.8f, 1.0f}}; // alpha: opacity
    Vec3 specular{};
    float shininess = 0; // specular exponent; 0: no highlight
    Vec3 emissive{};
    std::string texture;       // file name inside the package; empty for none
    bool clampTexture = false; // texture not repeated past its edges
    bool twoSided = false;
    bool blend = false;    // drawn see-through by its alpha
    float alphaCutoff = 0; // texels with less alpha are not drawn; 0: off
};

struct Texture {
    std::string name; // file name inside the package
    std::vector<uint8_t> bytes;
};

struct Bone {
    std::string name;
    int parent = -1; // index of an earlier bone, -1 for a root
    Vec3 position{};
    Quat orientation{{1, 0, 0, 0}};
    Vec3 scale{{1, 1, 1}};
};

// The bone's local transform at one time.
struct Key {
    float time = 0; // seconds
    Vec3 position{};
    Quat orientation{{1, 0, 0, 0}};
    Vec3 scale{{1, 1, 1}};
};

struct Track {
    uint16_t bone = 0;
    std::vector<Key> keys; // in time order
};

struct Animation {
    std::string name;
    float length = 0; // seconds
    std::vector<Track> tracks;
};

struct Model {
    std::vector<Part> parts;
    std::vector<Material> materials;
    std::vector<Texture> textures;
    std::vector<Bone> bones; // empty: a still model, no skeleton
    std::vector<Animation> animations;
    std::vector<std::string> notes; // what the source had that the package does not carry
};

} // namespace Pack
