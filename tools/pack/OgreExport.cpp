#include "OgreExport.h"

#include <OGRE/Ogre.h>
#include <OGRE/OgreDefaultHardwareBufferManager.h>
#include <OGRE/OgreMeshSerializer.h>
#include <OGRE/OgreSkeletonSerializer.h>

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace {

const char* const Group = Ogre::RGN_DEFAULT;

Ogre::Vector3 vector3(const Pack::Vec3& v) {
    return Ogre::Vector3(v[0], v[1], v[2]);
}

Ogre::Quaternion quaternion(const Pack::Quat& q) {
    return Ogre::Quaternion(q[0], q[1], q[2], q[3]);
}

std::string numbers(std::initializer_list<float> values) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(4);
    const char* separator = "";
    for (float value : values) {
        out << separator << value;
        separator = " ";
    }
    return out.str();
}

} // namespace

// The engine's managers, made without a render system: buffers live in ordinary memory, which
// is all the serializers need.
struct OgreExport::Engine {
    std::unique_ptr<Ogre::LogManager> log;
    std::unique_ptr<Ogre::Root> root;
    std::unique_ptr<Ogre::DefaultHardwareBufferManager> buffers;

    Engine() {
        log = std::make_unique<Ogre::LogManager>();
        // The engine's messages would bury the tool's own; they go nowhere.
        log->createLog("velquin-pack", true, false, true);
        root = std::make_unique<Ogre::Root>("", "", "");
        buffers = std::make_unique<Ogre::DefaultHardwareBufferManager>();
    }
    ~Engine() {
        buffers.reset();
        root.reset();
        log.reset();
    }
};

OgreExport::OgreExport() : engine_(std::make_unique<Engine>()) {}

OgreExport::~OgreExport() = default;

std::string OgreExport::materialScript(const Pack::Model& model) {
    // Indented with spaces: the player's package loader reads "texture NAME" after leading
    // spaces only.
    std::ostringstream script;
    for (const Pack::Material& m : model.materials) {
        const auto& d = m.diffuse;
        script << "material " << m.name << "\n{\n    technique\n    {\n        pass\n        {\n";
        // Half the colour in the shade, as the player's own content has it.
        script << "            ambient " << numbers({d[0] * 0.5f, d[1] * 0.5f, d[2] * 0.5f}) << "\n";
        script << "            diffuse " << numbers({d[0], d[1], d[2], d[3]}) << "\n";
        if (m.shininess > 0) {
            script << "            specular "
                   << numbers({m.specular[0], m.specular[1], m.specular[2], m.shininess}) << "\n";
        }
        if (m.emissive[0] > 0 || m.emissive[1] > 0 || m.emissive[2] > 0) {
            script << "            emissive " << numbers({m.emissive[0], m.emissive[1], m.emissive[2]})
                   << "\n";
        }
        if (m.blend) {
            script << "            scene_blend alpha_blend\n            depth_write off\n";
        }
        if (m.alphaCutoff > 0) {
            script << "            alpha_rejection greater_equal " << static_cast<int>(m.alphaCutoff * 255)
                   << "\n";
        }
        if (m.twoSided) {
            script << "            cull_hardware none\n            cull_software none\n";
        }
        if (!m.texture.empty()) {
            script << "            texture_unit\n            {\n                texture " << m.texture
                   << "\n";
            if (m.clampTexture) {
                script << "                tex_address_mode clamp\n";
            }
            script << "            }\n";
        }
        script << "        }\n    }\n}\n\n";
    }
    return script.str();
}

bool OgreExport::write(const Pack::Model& model, const std::string& name, const std::string& directory,
                       std::vector<std::string>& files, std::string& error) {
    const std::string meshName = name + ".mesh";
    const std::string skeletonName = name + ".skeleton";
    const std::string materialName = name + ".material";
    try {
        for (const Pack::Material& material : model.materials) {
            Ogre::MaterialManager::getSingleton().create(material.name, Group);
        }

        Ogre::SkeletonPtr skeleton;
        if (!model.bones.empty()) {
            skeleton = Ogre::SkeletonManager::getSingleton().create(skeletonName, Group, true);
            for (size_t i = 0; i < model.bones.size(); ++i) {
                const Pack::Bone& source = model.bones[i];
                Ogre::Bone* bone = skeleton->createBone(source.name, static_cast<unsigned short>(i));
                if (source.parent >= 0) {
                    skeleton->getBone(static_cast<unsigned short>(source.parent))->addChild(bone);
                }
                bone->setPosition(vector3(source.position));
                bone->setOrientation(quaternion(source.orientation));
                bone->setScale(vector3(source.scale));
            }
            skeleton->setBindingPose();
            for (const Pack::Animation& source : model.animations) {
                Ogre::Animation* animation =
                    skeleton->createAnimation(source.name, std::max(source.length, 0.001f));
                for (const Pack::Track& track : source.tracks) {
                    const Pack::Bone& rest = model.bones[track.bone];
                    const Ogre::Quaternion restInverse = quaternion(rest.orientation).Inverse();
                    Ogre::NodeAnimationTrack* out =
                        animation->createNodeTrack(track.bone, skeleton->getBone(track.bone));
                    // Key frames are relative to the binding pose: the engine adds the translation,
                    // turns by the rotation and multiplies by the scale.
                    for (const Pack::Key& key : track.keys) {
                        Ogre::TransformKeyFrame* frame = out->createNodeKeyFrame(key.time);
                        frame->setTranslate(vector3(key.position) - vector3(rest.position));
                        frame->setRotation(restInverse * quaternion(key.orientation));
                        const Ogre::Vector3 restScale = vector3(rest.scale);
                        frame->setScale(vector3(key.scale) / restScale);
                    }
                }
            }
        }

        Ogre::MeshPtr mesh = Ogre::MeshManager::getSingleton().createManual(meshName, Group);
        Ogre::AxisAlignedBox bounds;
        float radius = 0;
        Ogre::HardwareBufferManager& buffers = Ogre::HardwareBufferManager::getSingleton();
        for (const Pack::Part& part : model.parts) {
            Ogre::SubMesh* sub = mesh->createSubMesh();
            sub->useSharedVertices = false;
            sub->operationType = Ogre::RenderOperation::OT_TRIANGLE_LIST;
            sub->setMaterial(Ogre::MaterialManager::getSingleton().getByName(part.material, Group));
            const size_t count = part.vertices.size();
            sub->vertexData = new Ogre::VertexData();
            sub->vertexData->vertexCount = count;
            Ogre::VertexDeclaration* declaration = sub->vertexData->vertexDeclaration;
            // Positions and normals apart from texture coordinates: skinning on the processor
            // rewrites the first buffer every frame and would lose anything else in it.
            declaration->addElement(0, 0, Ogre::VET_FLOAT3, Ogre::VES_POSITION);
            declaration->addElement(0, 12, Ogre::VET_FLOAT3, Ogre::VES_NORMAL);
            declaration->addElement(1, 0, Ogre::VET_FLOAT2, Ogre::VES_TEXTURE_COORDINATES, 0);
            std::vector<float> geometry, uvs;
            geometry.reserve(count * 6);
            uvs.reserve(count * 2);
            for (const Pack::Vertex& v : part.vertices) {
                geometry.insert(geometry.end(), v.position.begin(), v.position.end());
                geometry.insert(geometry.end(), v.normal.begin(), v.normal.end());
                uvs.insert(uvs.end(), v.uv.begin(), v.uv.end());
                bounds.merge(vector3(v.position));
                radius = std::max(radius, vector3(v.position).length());
            }
            auto geometryBuffer =
                buffers.createVertexBuffer(24, count, Ogre::HardwareBuffer::HBU_STATIC_WRITE_ONLY);
            geometryBuffer->writeData(0, geometry.size() * sizeof(float), geometry.data());
            auto uvBuffer = buffers.createVertexBuffer(8, count, Ogre::HardwareBuffer::HBU_STATIC_WRITE_ONLY);
            uvBuffer->writeData(0, uvs.size() * sizeof(float), uvs.data());
            sub->vertexData->vertexBufferBinding->setBinding(0, geometryBuffer);
            sub->vertexData->vertexBufferBinding->setBinding(1, uvBuffer);

            const bool wide = count > 65535;
            auto indexBuffer = buffers.createIndexBuffer(
                wide ? Ogre::HardwareIndexBuffer::IT_32BIT : Ogre::HardwareIndexBuffer::IT_16BIT,
                part.indices.size(), Ogre::HardwareBuffer::HBU_STATIC_WRITE_ONLY);
            if (wide) {
                indexBuffer->writeData(0, part.indices.size() * 4, part.indices.data());
            } else {
                std::vector<uint16_t> narrow(part.indices.begin(), part.indices.end());
                indexBuffer->writeData(0, narrow.size() * 2, narrow.data());
            }
            sub->indexData->indexBuffer = indexBuffer;
            sub->indexData->indexCount = part.indices.size();
            sub->indexData->indexStart = 0;

            for (const Pack::BoneWeight& weight : part.weights) {
                Ogre::VertexBoneAssignment assignment;
                assignment.vertexIndex = weight.vertex;
                assignment.boneIndex = weight.bone;
                assignment.weight = weight.weight;
                sub->addBoneAssignment(assignment);
            }
        }
        if (!model.animations.empty()) {
            // Parts turning about joints inside the model stay within twice its reach: bounds
            // that hold every pose keep the engine from culling a limb that swings out.
            radius *= 2;
            bounds.merge(Ogre::AxisAlignedBox(-radius, -radius, -radius, radius, radius, radius));
        }
        mesh->_setBounds(bounds, false);
        mesh->_setBoundingSphereRadius(radius);
        if (skeleton) {
            mesh->_notifySkeleton(skeleton);
        }

        Ogre::MeshSerializer().exportMesh(mesh.get(), directory + "/" + meshName);
        files.push_back(meshName);
        if (skeleton) {
            Ogre::SkeletonSerializer().exportSkeleton(skeleton.get(), directory + "/" + skeletonName);
            files.push_back(skeletonName);
        }
    } catch (const Ogre::Exception& exception) {
        error = "the engine refused the model: " + exception.getDescription();
        return false;
    }

    std::ofstream script(directory + "/" + materialName, std::ios::binary);
    script << materialScript(model);
    files.push_back(materialName);
    for (const Pack::Texture& texture : model.textures) {
        std::ofstream out(directory + "/" + texture.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(texture.bytes.data()),
                  static_cast<std::streamsize>(texture.bytes.size()));
        if (!out) {
            error = "cannot write " + texture.name;
            return false;
        }
        files.push_back(texture.name);
    }
    if (!script) {
        error = "cannot write " + materialName;
        return false;
    }
    return true;
}
