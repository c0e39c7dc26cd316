#include "ModelImport.h"
#include "ConfinedIOSystem.h"
#include "ModelFolder.h"

#include <assimp/GltfMaterial.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>

namespace Pack {

namespace {

// Bones the engine's skeletons hold at most.
constexpr size_t MaximumBones = 256;

std::string lowerExtension(const std::string& path) {
    const std::string::size_type dot = path.rfind('.');
    const std::string::size_type slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return "";
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool parseAxis(const std::string& text, aiVector3D& axis) {
    if (text.size() != 2 || (text[0] != '+' && text[0] != '-')) {
        return false;
    }
    const float sign = text[0] == '+' ? 1.0f : -1.0f;
    switch (text[1]) {
    case 'x':
        axis = aiVector3D(sign, 0, 0);
        return true;
    case 'y':
        axis = aiVector3D(0, sign, 0);
        return true;
    case 'z':
        axis = aiVector3D(0, 0, sign);
        return true;
    default:
        return false;
    }
}

std::string axisName(int axis, int sign) {
    return std::string(sign < 0 ? "-" : "+") + static_cast<char>('x' + axis);
}

template <class T> bool metadata(const aiScene* scene, const char* key, T& value) {
    return scene->mMetaData != nullptr && scene->mMetaData->Get(key, value);
}

// FBX headers say their units and axes; everything else is metres, +y up, +z front.
void fileDefaults(const aiScene* scene, const std::string& extension, double& scale, std::string& up,
                  std::string& front) {
    scale = 1000.0;
    up = "+y";
    front = "+z";
    if (extension != "fbx") {
        return;
    }
    double unit = 1.0; // centimetres per file unit, FBX's own default
    float unitFloat = 0;
    if (metadata(scene, "UnitScaleFactor", unit) && unit > 0) {
        scale = unit * 10.0;
    } else if (metadata(scene, "UnitScaleFactor", unitFloat) && unitFloat > 0) {
        scale = unitFloat * 10.0;
    } else {
        scale = 10.0;
    }
    int axis = 1;
    int sign = 1;
    if (metadata(scene, "UpAxis", axis) && axis >= 0 && axis <= 2) {
        metadata(scene, "UpAxisSign", sign);
        up = axisName(axis, sign);
        // A z-up tool's models face -y; a y-up tool's face +z.
        front = axis == 2 ? axisName(1, -sign) : "+z";
    }
}

Vec3 vec(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}

Quat quat(const aiQuaternion& q) {
    return {q.w, q.x, q.y, q.z};
}

void decompose(const aiMatrix4x4& m, Vec3& position, Quat& orientation, Vec3& scale) {
    aiVector3D s, p;
    aiQuaternion r;
    m.Decompose(s, r, p);
    r.Normalize();
    position = vec(p);
    orientation = quat(r);
    scale = vec(s);
}

aiMatrix4x4 compose(const aiVector3D& position, const aiQuaternion& orientation, const aiVector3D& scale) {
    return aiMatrix4x4(scale, orientation, position);
}

// Everything the walk over the node tree learns.
struct Walk {
    const aiScene* scene = nullptr;
    aiMatrix4x4 conversion;                                    // model space to content space
    std::map<const aiNode*, aiMatrix4x4> global;               // rest transforms in content space
    std::vector<std::pair<const aiNode*, unsigned>> instances; // node, mesh index
    std::map<std::string, const aiNode*> byName;
};

void visit(Walk& walk, const aiNode* node, const aiMatrix4x4& parent) {
    const aiMatrix4x4 global = parent * node->mTransformation;
    walk.global[node] = global;
    walk.byName.emplace(node->mName.C_Str(), node);
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        walk.instances.emplace_back(node, node->mMeshes[i]);
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i) {
        visit(walk, node->mChildren[i], global);
    }
}

const aiNode* findNode(const Walk& walk, const aiString& name) {
    const auto found = walk.byName.find(name.C_Str());
    return found == walk.byName.end() ? nullptr : found->second;
}

// Bones: every node that carries a mesh, is a joint of a skin or is animated, with its
// ancestors, parents before children.
void makeBones(const Walk& walk, Model& model, std::map<const aiNode*, uint16_t>& boneOf,
               std::string& error) {
    std::set<const aiNode*> needed;
    auto need = [&](const aiNode* node) {
        for (; node != nullptr && needed.insert(node).second; node = node->mParent) {
        }
    };
    for (const auto& instance : walk.instances) {
        need(instance.first);
        const aiMesh* mesh = walk.scene->mMeshes[instance.second];
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            need(findNode(walk, mesh->mBones[b]->mName));
        }
    }
    for (unsigned a = 0; a < walk.scene->mNumAnimations; ++a) {
        const aiAnimation* animation = walk.scene->mAnimations[a];
        for (unsigned c = 0; c < animation->mNumChannels; ++c) {
            need(findNode(walk, animation->mChannels[c]->mNodeName));
        }
    }
    if (needed.size() > MaximumBones) {
        error = "the model has " + std::to_string(needed.size()) + " animated or skinned parts; at most " +
                std::to_string(MaximumBones) + " fit in a skeleton";
        return;
    }
    std::set<std::string> names;
    std::vector<const aiNode*> stack{walk.scene->mRootNode};
    while (!stack.empty()) {
        const aiNode* node = stack.back();
        stack.pop_back();
        if (needed.count(node) == 0) {
            continue;
        }
        Bone bone;
        bone.name = node->mName.length > 0 ? node->mName.C_Str() : "bone";
        if (!names.insert(bone.name).second) {
            bone.name += "-" + std::to_string(model.bones.size());
            names.insert(bone.name);
        }
        bone.parent = node->mParent != nullptr && boneOf.count(node->mParent) ? boneOf.at(node->mParent) : -1;
        const aiMatrix4x4 local =
            node->mParent == nullptr ? walk.conversion * node->mTransformation : node->mTransformation;
        decompose(local, bone.position, bone.orientation, bone.scale);
        boneOf[node] = static_cast<uint16_t>(model.bones.size());
        model.bones.push_back(bone);
        for (unsigned i = node->mNumChildren; i-- > 0;) {
            stack.push_back(node->mChildren[i]);
        }
    }
}

aiVector3D transformNormal(const aiMatrix4x4& m, const aiVector3D& n) {
    aiMatrix3x3 normalMatrix(m);
    normalMatrix.Inverse().Transpose();
    return normalMatrix * n;
}

void addPart(const Walk& walk, const aiNode* node, const aiMesh* mesh,
             const std::vector<std::string>& materialNames, const std::map<const aiNode*, uint16_t>& boneOf,
             Model& model) {
    Part part;
    part.material = materialNames.at(mesh->mMaterialIndex);
    const aiMatrix4x4& rigid = walk.global.at(node);
    const bool skeleton = !model.bones.empty();

    // Skinned vertices are posed here at the skeleton's rest pose, which becomes its binding pose.
    std::vector<std::vector<std::pair<uint16_t, float>>> influences(mesh->mNumVertices);
    std::vector<aiMatrix4x4> jointMatrices;
    for (unsigned b = 0; b < mesh->mNumBones; ++b) {
        const aiBone* bone = mesh->mBones[b];
        const aiNode* joint = findNode(walk, bone->mName);
        if (joint == nullptr || boneOf.count(joint) == 0) {
            continue;
        }
        jointMatrices.push_back(walk.global.at(joint) * bone->mOffsetMatrix);
        for (unsigned w = 0; w < bone->mNumWeights; ++w) {
            const aiVertexWeight& weight = bone->mWeights[w];
            if (weight.mVertexId < mesh->mNumVertices && weight.mWeight > 0) {
                influences[weight.mVertexId].emplace_back(static_cast<uint16_t>(jointMatrices.size() - 1),
                                                          weight.mWeight);
            }
        }
    }
    std::vector<uint16_t> jointBones;
    for (unsigned b = 0; b < mesh->mNumBones; ++b) {
        const aiNode* joint = findNode(walk, mesh->mBones[b]->mName);
        if (joint != nullptr && boneOf.count(joint)) {
            jointBones.push_back(boneOf.at(joint));
        }
    }

    part.vertices.resize(mesh->mNumVertices);
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
        Vertex& out = part.vertices[v];
        const aiVector3D p = mesh->mVertices[v];
        const aiVector3D n = mesh->HasNormals() ? mesh->mNormals[v] : aiVector3D(0, 1, 0);
        float total = 0;
        for (const auto& influence : influences[v]) {
            total += influence.second;
        }
        aiVector3D position, normal;
        if (total > 0) {
            for (const auto& influence : influences[v]) {
                const float w = influence.second / total;
                position += (jointMatrices[influence.first] * p) * w;
                normal += transformNormal(jointMatrices[influence.first], n) * w;
                if (skeleton) {
                    part.weights.push_back({v, jointBones[influence.first], w});
                }
            }
        } else {
            position = rigid * p;
            normal = transformNormal(rigid, n);
            if (skeleton) {
                part.weights.push_back({v, boneOf.at(node), 1.0f});
            }
        }
        if (normal.SquareLength() > 0) {
            normal.Normalize();
        }
        out.position = vec(position);
        out.normal = vec(normal);
        if (mesh->HasTextureCoords(0)) {
            out.uv = {mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y};
        }
    }
    // A mirroring transform turns the triangles' front faces away: wind them the other way.
    const bool mirrored = rigid.Determinant() < 0 && mesh->mNumBones == 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices != 3) {
            continue;
        }
        part.indices.push_back(face.mIndices[0]);
        part.indices.push_back(face.mIndices[mirrored ? 2 : 1]);
        part.indices.push_back(face.mIndices[mirrored ? 1 : 2]);
    }
    if (!part.indices.empty()) {
        model.parts.push_back(std::move(part));
    }
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The file a texture reference stands for: one in the model's folder or below it, or else one of
// the same name beside the model (tools write absolute paths of the author's machine, and
// models travel without their folders). Empty when there is none; outside tells whether the
// reference itself led out of the folder, which is never followed.
std::string textureFile(const ModelFolder& folder, const std::string& reference, bool& outside) {
    std::string relative = reference;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const bool absolute =
        (!relative.empty() && relative[0] == '/') ||
        (relative.size() >= 2 && std::isalpha(static_cast<unsigned char>(relative[0])) && relative[1] == ':');
    const std::string spellings[] = {relative, percentDecoded(relative)};
    outside = absolute;
    if (!absolute) {
        for (const std::string& spelling : spellings) {
            const std::string found = folder.inside(folder.prefix() + spelling);
            if (!found.empty()) {
                return found;
            }
            outside = outside || folder.leadsOut(folder.prefix() + spelling);
        }
    }
    for (const std::string& spelling : spellings) {
        const std::string found = folder.beside(spelling);
        if (!found.empty()) {
            return found;
        }
    }
    return "";
}

// The package name of a texture, its bytes added to the model once. Empty when it cannot be had.
std::string addTexture(const aiScene* scene, const ModelFolder& folder, const std::string& reference,
                       std::map<std::string, std::string>& added, Model& model) {
    const auto known = added.find(reference);
    if (known != added.end()) {
        return known->second;
    }
    Texture texture;
    const aiTexture* embedded = scene->GetEmbeddedTexture(reference.c_str());
    if (embedded != nullptr) {
        if (embedded->mHeight != 0) {
            model.notes.push_back("texture " + reference +
                                  ": embedded as raw texels, which the package cannot hold; left out");
            added[reference] = "";
            return "";
        }
        std::string hint = embedded->achFormatHint;
        if (hint.empty() ||
            hint.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos) {
            hint = "png";
        }
        const std::string stem = embedded->mFilename.length > 0
                                     ? embedded->mFilename.C_Str()
                                     : "texture-" + std::to_string(model.textures.size());
        texture.name = safeName(stem.substr(stem.find_last_of("/\\") + 1), "texture");
        if (lowerExtension(texture.name) != hint) {
            texture.name += "." + hint;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(embedded->pcData);
        texture.bytes.assign(bytes, bytes + embedded->mWidth);
    } else {
        bool outside = false;
        const std::string file = textureFile(folder, reference, outside);
        if (file.empty() || !readFile(file, texture.bytes)) {
            model.notes.push_back("texture " + reference +
                                  (outside ? ": outside the model's folder, and no file of its name beside it"
                                           : ": not found beside the model") +
                                  "; left out");
            added[reference] = "";
            return "";
        }
        std::string relative = reference;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        texture.name = safeName(percentDecoded(relative.substr(relative.find_last_of('/') + 1)), "texture");
    }
    if (lowerExtension(texture.name).empty()) {
        texture.name += ".png";
    }
    // Two textures of the same file name from different folders.
    std::string name = texture.name;
    for (int n = 1; std::any_of(model.textures.begin(), model.textures.end(),
                                [&](const Texture& t) { return t.name == name; });
         ++n) {
        name = std::to_string(n) + "-" + texture.name;
    }
    texture.name = name;
    added[reference] = name;
    model.textures.push_back(std::move(texture));
    return name;
}

void addMaterials(const aiScene* scene, const ModelFolder& folder, Model& model,
                  std::vector<std::string>& names) {
    std::set<std::string> used;
    std::map<std::string, std::string> textures;
    std::set<std::string> dropped;
    bool transformed = false;
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        const aiMaterial* source = scene->mMaterials[i];
        Material material;
        aiString name;
        source->Get(AI_MATKEY_NAME, name);
        material.name = safeName(name.C_Str(), "material");
        for (int n = 1; used.count(material.name); ++n) {
            material.name = safeName(name.C_Str(), "material") + "-" + std::to_string(n);
        }
        used.insert(material.name);

        aiColor4D colour;
        if (source->Get(AI_MATKEY_BASE_COLOR, colour) == AI_SUCCESS ||
            source->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS) {
            material.diffuse = {colour.r, colour.g, colour.b, colour.a};
        }
        float opacity = 1;
        if (source->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && opacity < 1) {
            material.diffuse[3] = std::min(material.diffuse[3], opacity);
        }
        aiColor3D rgb;
        if (source->Get(AI_MATKEY_COLOR_SPECULAR, rgb) == AI_SUCCESS) {
            material.specular = {rgb.r, rgb.g, rgb.b};
        }
        float shininess = 0;
        if (source->Get(AI_MATKEY_SHININESS, shininess) == AI_SUCCESS && shininess > 0) {
            material.shininess = std::min(shininess, 128.0f);
        }
        if (source->Get(AI_MATKEY_COLOR_EMISSIVE, rgb) == AI_SUCCESS) {
            material.emissive = {rgb.r, rgb.g, rgb.b};
        }
        int twoSided = 0;
        if (source->Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS) {
            material.twoSided = twoSided != 0;
        }
        aiString alphaMode;
        if (source->Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS) {
            const std::string mode = alphaMode.C_Str();
            material.blend = mode == "BLEND";
            if (mode == "MASK") {
                float cutoff = 0.5f;
                source->Get(AI_MATKEY_GLTF_ALPHACUTOFF, cutoff);
                material.alphaCutoff = std::max(cutoff, 0.001f);
            }
        } else {
            material.blend = material.diffuse[3] < 1;
        }

        aiString path;
        aiTextureMapMode mapMode[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
        const aiTextureType baseTypes[] = {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE};
        for (aiTextureType type : baseTypes) {
            if (source->GetTextureCount(type) > 0 &&
                source->GetTexture(type, 0, &path, nullptr, nullptr, nullptr, nullptr, mapMode) ==
                    AI_SUCCESS) {
                material.texture = addTexture(scene, folder, path.C_Str(), textures, model);
                material.clampTexture = mapMode[0] == aiTextureMapMode_Clamp;
                aiUVTransform transform;
                transformed =
                    transformed || (source->Get(AI_MATKEY_UVTRANSFORM(type, 0), transform) == AI_SUCCESS &&
                                    (transform.mTranslation != aiVector2D(0, 0) ||
                                     transform.mScaling != aiVector2D(1, 1) || transform.mRotation != 0));
                break;
            }
        }
        const std::pair<aiTextureType, const char*> otherTypes[] = {
            {aiTextureType_NORMALS, "normal"},
            {aiTextureType_METALNESS, "metallic-roughness"},
            {aiTextureType_DIFFUSE_ROUGHNESS, "metallic-roughness"},
            {aiTextureType_UNKNOWN, "metallic-roughness"},
            {aiTextureType_LIGHTMAP, "occlusion"},
            {aiTextureType_AMBIENT_OCCLUSION, "occlusion"},
            {aiTextureType_EMISSIVE, "emissive"},
            {aiTextureType_EMISSION_COLOR, "emissive"},
            {aiTextureType_SPECULAR, "specular"},
            {aiTextureType_HEIGHT, "height"},
        };
        for (const auto& other : otherTypes) {
            if (source->GetTextureCount(other.first) > 0) {
                dropped.insert(other.second);
            }
        }
        model.materials.push_back(material);
        names.push_back(material.name);
    }
    for (const std::string& kind : dropped) {
        model.notes.push_back(kind + " textures: left out (materials keep their base colour texture only)");
    }
    if (transformed) {
        model.notes.push_back("texture transforms (KHR_texture_transform): left out; textures are laid on "
                              "by the first coordinate set as it is");
    }
}

// The value of a key list at a time: linear between keys, held before the first and after the last.
template <class KeyType, class Value, class Mix>
Value sample(const KeyType* keys, unsigned count, double time, const Value& rest, Mix mix) {
    if (count == 0) {
        return rest;
    }
    if (time <= keys[0].mTime) {
        return keys[0].mValue;
    }
    for (unsigned i = 1; i < count; ++i) {
        if (time <= keys[i].mTime) {
            const double span = keys[i].mTime - keys[i - 1].mTime;
            const float t = span > 0 ? static_cast<float>((time - keys[i - 1].mTime) / span) : 1.0f;
            return mix(keys[i - 1].mValue, keys[i].mValue, t);
        }
    }
    return keys[count - 1].mValue;
}

void addAnimations(const Walk& walk, const std::map<const aiNode*, uint16_t>& boneOf, Model& model) {
    std::set<std::string> used;
    bool morphs = false;
    for (unsigned a = 0; a < walk.scene->mNumAnimations; ++a) {
        const aiAnimation* source = walk.scene->mAnimations[a];
        morphs = morphs || source->mNumMeshChannels > 0 || source->mNumMorphMeshChannels > 0;
        Animation animation;
        animation.name = safeName(source->mName.C_Str(), "animation");
        for (int n = 1; used.count(animation.name); ++n) {
            animation.name = safeName(source->mName.C_Str(), "animation") + "-" + std::to_string(n);
        }
        const double ticks = source->mTicksPerSecond > 0 ? source->mTicksPerSecond : 25.0;
        double last = 0;
        for (unsigned c = 0; c < source->mNumChannels; ++c) {
            const aiNodeAnim* channel = source->mChannels[c];
            const aiNode* node = findNode(walk, channel->mNodeName);
            if (node == nullptr || boneOf.count(node) == 0) {
                continue;
            }
            std::set<double> times;
            for (unsigned k = 0; k < channel->mNumPositionKeys; ++k) {
                times.insert(channel->mPositionKeys[k].mTime);
            }
            for (unsigned k = 0; k < channel->mNumRotationKeys; ++k) {
                times.insert(channel->mRotationKeys[k].mTime);
            }
            for (unsigned k = 0; k < channel->mNumScalingKeys; ++k) {
                times.insert(channel->mScalingKeys[k].mTime);
            }
            aiVector3D restScale, restPosition;
            aiQuaternion restRotation;
            node->mTransformation.Decompose(restScale, restRotation, restPosition);
            Track track;
            track.bone = boneOf.at(node);
            const auto lerp = [](const aiVector3D& a, const aiVector3D& b, float t) {
                return a + (b - a) * t;
            };
            const auto slerp = [](const aiQuaternion& a, const aiQuaternion& b, float t) {
                aiQuaternion out;
                aiQuaternion::Interpolate(out, a, b, t);
                return out.Normalize();
            };
            for (double time : times) {
                const aiVector3D p =
                    sample(channel->mPositionKeys, channel->mNumPositionKeys, time, restPosition, lerp);
                const aiQuaternion r =
                    sample(channel->mRotationKeys, channel->mNumRotationKeys, time, restRotation, slerp);
                const aiVector3D s =
                    sample(channel->mScalingKeys, channel->mNumScalingKeys, time, restScale, lerp);
                aiMatrix4x4 local = compose(p, r, s);
                if (node->mParent == nullptr) {
                    local = walk.conversion * local;
                }
                Key key;
                key.time = static_cast<float>(std::max(0.0, time / ticks));
                decompose(local, key.position, key.orientation, key.scale);
                track.keys.push_back(key);
                last = std::max(last, time / ticks);
            }
            if (!track.keys.empty()) {
                animation.tracks.push_back(std::move(track));
            }
        }
        animation.length = static_cast<float>(std::max(source->mDuration / ticks, last));
        if (animation.tracks.empty()) {
            continue;
        }
        used.insert(animation.name);
        model.animations.push_back(std::move(animation));
    }
    if (morphs) {
        model.notes.push_back("morph target (blend shape) animations: left out");
    }
}

void noteWhatIsLeftOut(const aiScene* scene, Model& model) {
    bool colours = false, moreUvs = false, morphTargets = false;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        const aiMesh* mesh = scene->mMeshes[i];
        colours = colours || mesh->HasVertexColors(0);
        moreUvs = moreUvs || mesh->HasTextureCoords(1);
        morphTargets = morphTargets || mesh->mNumAnimMeshes > 0;
    }
    if (colours) {
        model.notes.push_back("vertex colours: left out");
    }
    if (moreUvs) {
        model.notes.push_back("texture coordinate sets after the first: left out");
    }
    if (morphTargets) {
        model.notes.push_back("morph targets: left out; meshes keep their base shape");
    }
    if (scene->mNumCameras > 0) {
        model.notes.push_back(std::to_string(scene->mNumCameras) +
                              " camera(s): left out (the player's camera is the real one)");
    }
    if (scene->mNumLights > 0) {
        model.notes.push_back(std::to_string(scene->mNumLights) + " light(s): left out (use light actors)");
    }
}

// "12 point(s) and 3 line(s)" for the primitives a model has that are no triangles; empty when
// it has none.
std::string countPointsAndLines(const aiScene* scene) {
    size_t points = 0, lines = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        const aiMesh* mesh = scene->mMeshes[i];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            points += mesh->mFaces[f].mNumIndices == 1;
            lines += mesh->mFaces[f].mNumIndices == 2;
        }
    }
    std::string text;
    if (points > 0) {
        text = std::to_string(points) + " point(s)";
    }
    if (lines > 0) {
        text += (text.empty() ? "" : " and ") + std::to_string(lines) + " line(s)";
    }
    return text;
}

} // namespace

std::string safeName(const std::string& name, const std::string& fallback) {
    std::string out;
    for (unsigned char c : name) {
        out += std::isalnum(c) || c == '-' || c == '.' || c == '_' ? static_cast<char>(c) : '_';
    }
    if (out.empty() || out.find_first_not_of("._") == std::string::npos) {
        return fallback;
    }
    return out;
}

bool importModel(const std::string& path, const ImportOptions& options, Model& model, std::string& error) {
    const std::string extension = lowerExtension(path);
    if (extension != "gltf" && extension != "glb" && extension != "obj" && extension != "fbx") {
        error = path + ": unsupported kind of model (velquin-pack reads .gltf, .glb, .obj and .fbx)";
        return false;
    }
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    const ModelFolder folder(path);
    std::string refused; // a file the model names outside its folder
    Assimp::Importer importer;
    // The importer owns its IO handler; refused outlives both.
    importer.SetIOHandler(std::make_unique<ConfinedIOSystem>(path, folder, refused).release());
    importer.SetPropertyInteger(AI_CONFIG_PP_LBW_MAX_WEIGHTS, 4);
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                                       aiProcess_GenSmoothNormals |
                                                       aiProcess_LimitBoneWeights | aiProcess_SortByPType |
                                                       aiProcess_FlipUVs | aiProcess_ValidateDataStructure);
    if (scene == nullptr || scene->mRootNode == nullptr || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
        error = refused.empty() ? path + ": not a readable model: " + importer.GetErrorString()
                                : path + ": the model needs " + refused +
                                      ", outside its folder; velquin-pack reads only files in the model's "
                                      "folder and below it";
        return false;
    }
    if (!refused.empty()) {
        model.notes.push_back("file " + refused + ": outside the model's folder; left out");
    }

    double scale = 0;
    std::string up, front;
    fileDefaults(scene, extension, scale, up, front);
    if (options.scale != 0) {
        scale = options.scale;
    }
    if (!options.up.empty()) {
        up = options.up;
        if (options.front.empty()) {
            front = up[1] == 'z' ? std::string(up[0] == '+' ? "-" : "+") + "y" : "+z";
        }
    }
    if (!options.front.empty()) {
        front = options.front;
    }
    aiVector3D upAxis, frontAxis;
    if (!parseAxis(up, upAxis) || !parseAxis(front, frontAxis)) {
        error = "axes are written +x, -x, +y, -y, +z or -z (got up " + up + ", front " + front + ")";
        return false;
    }
    if (up[1] == front[1]) {
        error = "the up axis (" + up + ") and the front axis (" + front + ") must differ";
        return false;
    }
    if (!(scale > 0) || !std::isfinite(scale)) {
        error = "the scale must be a positive number";
        return false;
    }
    // Content space: +y up out of the marker, +x towards its top edge, +z towards its right edge.
    // The model's front faces a viewer at the bottom edge (-x); its right hand side (up x front)
    // goes to the viewer's right (+z).
    const aiVector3D right = upAxis ^ frontAxis;
    const float s = static_cast<float>(scale);
    Walk walk;
    walk.scene = scene;
    walk.conversion =
        aiMatrix4x4(-frontAxis.x * s, -frontAxis.y * s, -frontAxis.z * s, 0, upAxis.x * s, upAxis.y * s,
                    upAxis.z * s, 0, right.x * s, right.y * s, right.z * s, 0, 0, 0, 0, 1);
    visit(walk, scene->mRootNode, walk.conversion);
    if (walk.instances.empty()) {
        error = path + ": the model has no triangles";
        return false;
    }

    std::map<const aiNode*, uint16_t> boneOf;
    bool skinned = false;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        skinned = skinned || scene->mMeshes[i]->HasBones();
    }
    if (skinned || scene->mNumAnimations > 0) {
        makeBones(walk, model, boneOf, error);
        if (!error.empty()) {
            return false;
        }
    }
    std::vector<std::string> materialNames;
    addMaterials(scene, folder, model, materialNames);
    for (const auto& instance : walk.instances) {
        addPart(walk, instance.first, scene->mMeshes[instance.second], materialNames, boneOf, model);
    }
    const std::string pointsAndLines = countPointsAndLines(scene);
    if (model.parts.empty()) {
        error =
            path + (pointsAndLines.empty() ? ": the model has no triangles"
                                           : ": the model holds only points and lines (" + pointsAndLines +
                                                 "), no surface; velquin-pack converts triangles only");
        return false;
    }
    if (!pointsAndLines.empty()) {
        model.notes.push_back(pointsAndLines + ": left out (only triangles are kept)");
    }
    if (!model.bones.empty()) {
        addAnimations(walk, boneOf, model);
    }
    noteWhatIsLeftOut(scene, model);
    // Materials no part uses stay out of the script.
    std::set<std::string> usedMaterials;
    for (const Part& part : model.parts) {
        usedMaterials.insert(part.material);
    }
    model.materials.erase(std::remove_if(model.materials.begin(), model.materials.end(),
                                         [&](const Material& m) { return usedMaterials.count(m.name) == 0; }),
                          model.materials.end());
    std::set<std::string> usedTextures;
    for (const Material& material : model.materials) {
        usedTextures.insert(material.texture);
    }
    model.textures.erase(std::remove_if(model.textures.begin(), model.textures.end(),
                                        [&](const Texture& t) { return usedTextures.count(t.name) == 0; }),
                         model.textures.end());
    return true;
}

} // namespace Pack
