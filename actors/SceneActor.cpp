#include "actors/SceneActor.h"

#include "actors/ActorTexts.h"
#include "platform/xmldepth.h"

#include <OGRE/Ogre.h>
#include <tinyxml.h>

#include <cmath>

namespace {

std::atomic<unsigned> sceneActorCounter{0};
const Actor::Kind SceneKind{ActorTexts::SceneActorPrefix, ActorTexts::SceneActivated,
                            ActorTexts::SceneDeactivated, "", &sceneActorCounter};

const char* const RefusedName = "SceneActor::init: refused scene file name ";

// The file is looked up by name across resource groups: a name with a path in it could reach
// files outside every package.
bool isPlainFileName(const std::string& name) {
    for (unsigned char c : name) {
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return !name.empty();
}

std::string attributeText(const TiXmlElement* element, const char* attribute) {
    const char* value = element->Attribute(attribute);
    return value != nullptr ? value : "";
}

// A number attribute as the engine reads reals; missing, unreadable or infinite values read as 0.
Ogre::Real number(const TiXmlElement* element, const char* attribute) {
    const char* value = element->Attribute(attribute);
    if (value == nullptr) {
        return 0.0f;
    }
    const Ogre::Real read = Ogre::StringConverter::parseReal(value, 0.0f);
    return std::isfinite(read) ? read : 0.0f;
}

// True when value is a prefix of word ("n" and "" are prefixes of "no").
bool isPrefixOf(const std::string& value, const char* word) {
    return std::string(word).compare(0, value.size(), value) == 0;
}

// Shadows are on unless CastShadows is present and a prefix of "no".
bool castsShadows(const TiXmlElement* element) {
    const char* value = element->Attribute("CastShadows");
    return value == nullptr || !isPrefixOf(value, "no");
}

Ogre::Vector3 vectorOf(const TiXmlElement* element) {
    return Ogre::Vector3(number(element, "x"), number(element, "y"), number(element, "z"));
}

// Quaternions are written x, y, z, w and used as they are, unnormalised.
Ogre::Quaternion quaternionOf(const TiXmlElement* element) {
    return Ogre::Quaternion(number(element, "w"), number(element, "x"), number(element, "y"),
                            number(element, "z"));
}

Ogre::ColourValue colourOf(const TiXmlElement* element) {
    return Ogre::ColourValue(number(element, "r"), number(element, "g"), number(element, "b"));
}

// The position, rotation and scale children of an element, applied to a node.
void applyTransform(const TiXmlElement* element, Ogre::SceneNode* node) {
    if (const TiXmlElement* position = element->FirstChildElement("position")) {
        node->setPosition(vectorOf(position));
    }
    if (const TiXmlElement* rotation = element->FirstChildElement("rotation")) {
        node->setOrientation(quaternionOf(rotation));
    }
    if (const TiXmlElement* scale = element->FirstChildElement("scale")) {
        node->setScale(vectorOf(scale));
    }
}

} // namespace

SceneActor::SceneActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string resourceName,
                       std::string sceneFileName)
    : AnimatedActor(sceneManager, services, SceneKind), resourceName_(std::move(resourceName)),
      sceneFileName_(std::move(sceneFileName)) {}

SceneActor::~SceneActor() {
    removeFromScene();
}

bool SceneActor::init() {
    takePrefix();
    if (!isPlainFileName(sceneFileName_)) {
        logLine(RefusedName + sceneFileName_);
        return false;
    }
    try {
        const std::string text = readSceneFile();
        if (text.empty() || !VelOS::xmlDepthWithin(text)) {
            return false;
        }
        TiXmlDocument document;
        document.Parse(text.c_str());
        TiXmlElement* root = document.RootElement();
        if (document.Error() || root == nullptr) {
            return false;
        }
        if (!buildFrame()) {
            return false;
        }
        actorNode_->attachObject(selectionEntity_);

        entities_.clear();
        animationNames_.clear();
        if (TiXmlElement* entities = root->FirstChildElement("entities")) {
            for (TiXmlElement* entity = entities->FirstChildElement(); entity != nullptr;
                 entity = entity->NextSiblingElement()) {
                loadEntity(entity);
            }
        }
        lights_.clear();
        lightsOn_.clear();
        if (TiXmlElement* lights = root->FirstChildElement("lights")) {
            for (TiXmlElement* light = lights->FirstChildElement(); light != nullptr;
                 light = light->NextSiblingElement()) {
                loadLight(light);
            }
        }
        finishInit();
        return true;
    } catch (const Ogre::Exception& error) {
        logLine(error.getFullDescription());
        return false;
    }
}

std::string SceneActor::readSceneFile() const {
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    const std::string& defaultGroup = Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME;
    // The package's own group first: another package may hold a file of the same name.
    std::string group;
    if (groups.resourceGroupExists(resourceName_) && groups.resourceExists(resourceName_, sceneFileName_)) {
        group = resourceName_;
    } else if (groups.resourceExists(defaultGroup, sceneFileName_)) {
        group = defaultGroup;
    } else {
        group = groups.findGroupContainingResource(sceneFileName_); // throws when none has it
    }
    return groups.openResource(sceneFileName_, group)->getAsString();
}

void SceneActor::loadEntity(TiXmlElement* element) {
    const std::string name = attributeText(element, "name");
    const char* mesh = element->Attribute("filename");
    if (mesh == nullptr) {
        logLine(ActorTexts::SceneEntitySkipped + name);
        return;
    }
    const std::string base = ActorTexts::Separator + name;
    Ogre::SceneNode* node = actorNode_->createChildSceneNode(engineName(base + ActorTexts::NodeSuffix),
                                                             Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY);
    Ogre::Entity* entity = createEntityOfMesh(base + ActorTexts::EntitySuffix, mesh);
    entities_.insert(entity);
    entity->setCastShadows(castsShadows(element));
    node->attachObject(entity);
    applyTransform(element, node);
    // Node tracks move a node from its initial state: the placement from the file is that state.
    node->setInitialState();
    if (TiXmlElement* animations = element->FirstChildElement("animations")) {
        for (TiXmlElement* animation = animations->FirstChildElement(); animation != nullptr;
             animation = animation->NextSiblingElement()) {
            loadAnimation(animation, node);
        }
    }
}

void SceneActor::loadAnimation(TiXmlElement* element, Ogre::SceneNode* node) {
    const std::string name = attributeText(element, "name");
    animationNames_.insert(name);
    Ogre::Animation* animation = nullptr;
    if (sceneManager_->hasAnimation(name)) {
        animation = sceneManager_->getAnimation(name);
    } else {
        animation = sceneManager_->createAnimation(name, number(element, "length"));
        Ogre::Animation::setDefaultInterpolationMode(Ogre::Animation::IM_LINEAR);
        animation->setInterpolationMode(Ogre::Animation::IM_LINEAR);
    }
    // Handles count on from the tracks already there; one freed by an actor that left may be
    // below a handle still in use, so the next free one is taken.
    unsigned short handle = static_cast<unsigned short>(animation->getNumNodeTracks() + 1);
    while (handle != 0 && animation->hasNodeTrack(handle)) {
        ++handle;
    }
    if (handle == 0) {
        return;
    }
    Ogre::NodeAnimationTrack* track = animation->createNodeTrack(handle, node);
    tracks_.push_back(Track{name, handle, node});
    if (!sceneManager_->hasAnimationState(name)) {
        sceneManager_->createAnimationState(name);
    }
    for (TiXmlElement* key = element->FirstChildElement(); key != nullptr; key = key->NextSiblingElement()) {
        Ogre::TransformKeyFrame* frame = track->createNodeKeyFrame(number(key, "time"));
        if (const TiXmlElement* position = key->FirstChildElement("position")) {
            frame->setTranslate(vectorOf(position));
        }
        if (const TiXmlElement* rotation = key->FirstChildElement("rotation")) {
            frame->setRotation(quaternionOf(rotation));
        }
        if (const TiXmlElement* scale = key->FirstChildElement("scale")) {
            frame->setScale(vectorOf(scale));
        }
    }
}

// The light's direction is relative to its node, which turns towards the target.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void SceneActor::loadLight(TiXmlElement* element) {
    const std::string base = ActorTexts::Separator + attributeText(element, "name");
    Ogre::SceneNode* node = nullptr;
    Ogre::Light* light = nullptr;
    try {
        node = actorNode_->createChildSceneNode(engineName(base + ActorTexts::NodeSuffix),
                                                Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY);
        light = sceneManager_->createLight(engineName(base + ActorTexts::LightSuffix));
    } catch (const Ogre::Exception&) {
        light = nullptr;
    }
    if (light == nullptr) {
        // A light the engine does not make is left out; the rest of the scene still loads.
        if (node != nullptr) {
            sceneManager_->destroySceneNode(node);
        }
        return;
    }
    lights_.insert(light);

    const std::string type = attributeText(element, "type");
    if (isPrefixOf(type, "omni")) {
        light->setType(Ogre::Light::LT_POINT);
    } else if (isPrefixOf(type, "spot")) {
        light->setType(Ogre::Light::LT_SPOTLIGHT);
        light->setSpotlightRange(Ogre::Degree(number(element, "hotspot")),
                                 Ogre::Degree(number(element, "falloff")), 1.0f);
        light->setDirection(0.0f, 0.0f, -1.0f);
    } else if (isPrefixOf(type, "directional")) {
        light->setType(Ogre::Light::LT_DIRECTIONAL);
    }

    const char* on = element->Attribute("on");
    const bool switchedOn = on != nullptr && isPrefixOf(on, "true");
    light->setVisible(switchedOn);
    if (switchedOn) {
        lightsOn_.insert(light);
    }
    light->setCastShadows(castsShadows(element));
    if (const TiXmlElement* colour = element->FirstChildElement("color")) {
        light->setDiffuseColour(colourOf(colour));
    }
    if (const TiXmlElement* specular = element->FirstChildElement("specular")) {
        light->setSpecularColour(colourOf(specular));
    }
    if (const TiXmlElement* attenuation = element->FirstChildElement("attenuation")) {
        light->setAttenuation(number(attenuation, "range"), number(attenuation, "constant"),
                              number(attenuation, "linear"), number(attenuation, "quadratic"));
    }
    // On its node the light follows the marker and the user transform like the entities do.
    node->attachObject(light);
    if (const TiXmlElement* target = element->FirstChildElement("target")) {
        Ogre::SceneNode* targetNode =
            rootNode_->createChildSceneNode(engineName(base + ActorTexts::LightTargetSuffix),
                                            Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY);
        applyTransform(target, targetNode);
        node->setAutoTracking(true, targetNode, Ogre::Vector3::NEGATIVE_UNIT_Z, Ogre::Vector3::ZERO);
    }
}
#pragma GCC diagnostic pop

void SceneActor::showContent() {
    actorNode_->setVisible(true, true);
    for (Ogre::Light* light : lights_) {
        light->setVisible(lightsOn_.count(light) != 0);
    }
}

Ogre::AnimationState* SceneActor::findAnimationState(const std::string& name) {
    if (sceneManager_ == nullptr || !sceneManager_->hasAnimationState(name)) {
        return nullptr;
    }
    return sceneManager_->getAnimationState(name);
}

std::set<std::string>& SceneActor::getAnimationNames(std::set<std::string>& names) {
    names = animationNames_;
    return names;
}

void SceneActor::removeFromScene() {
    removeTracks();
    Actor::removeFromScene();
}

void SceneActor::removeTracks() {
    for (const Track& track : tracks_) {
        try {
            if (!sceneManager_->hasAnimation(track.animation)) {
                continue;
            }
            Ogre::Animation* animation = sceneManager_->getAnimation(track.animation);
            if (animation->hasNodeTrack(track.handle) &&
                animation->getNodeTrack(track.handle)->getAssociatedNode() == track.node) {
                animation->destroyNodeTrack(track.handle);
            }
        } catch (const Ogre::Exception&) {
        }
    }
    tracks_.clear();
}

void SceneActor::destroyContent() {
    std::set<Ogre::Entity*> entities;
    std::set<Ogre::Light*> lights;
    entities.swap(entities_);
    lights.swap(lights_);
    lightsOn_.clear();
    animationNames_.clear();
    for (Ogre::Entity* entity : entities) {
        try {
            sceneManager_->destroyEntity(entity);
        } catch (const Ogre::Exception&) {
        }
    }
    for (Ogre::Light* light : lights) {
        try {
            sceneManager_->destroyLight(light);
        } catch (const Ogre::Exception&) {
        }
    }
}
