#include "actors/ActorManager.h"

#include "project/TrackerManager.h"

#include <OGRE/Ogre.h>

namespace {

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

template <class A> A* lookUp(const std::map<std::string, std::unique_ptr<A>>& map, const std::string& name) {
    auto found = map.find(name);
    return found == map.end() ? nullptr : found->second.get();
}

template <class A>
void addNames(const std::map<std::string, std::unique_ptr<A>>& map, std::set<std::string>& names) {
    for (const auto& entry : map) {
        names.insert(entry.first);
    }
}

void detachCamera(Ogre::Camera* camera) {
    if (Ogre::SceneNode* node = camera->getParentSceneNode()) {
        node->detachObject(camera);
    }
}

} // namespace

ActorManager::~ActorManager() {
    destroyAll();
}

void ActorManager::bind(Ogre::SceneManager* sceneManager, ActorServices* services) {
    sceneManager_ = sceneManager;
    services_ = services;
}

bool ActorManager::isNameFree(const std::string& name) const {
    return files_.count(name) == 0 && lights_.count(name) == 0 && meshes_.count(name) == 0 &&
           scenes_.count(name) == 0;
}

template <class A>
A* ActorManager::keep(ActorMap<A>& map, const std::string& name, std::unique_ptr<A> actor,
                      std::string* engineFailure) {
    if (!actor->init()) {
        if (engineFailure != nullptr) {
            *engineFailure = actor->failure();
        }
        return nullptr; // its destructor takes out whatever init made
    }
    A* kept = actor.get();
    map.emplace(name, std::move(actor));
    return kept;
}

FileActor* ActorManager::createFile(const std::string& name, const std::string& resource,
                                    const std::string& fileName, const std::string& type,
                                    std::string* engineFailure) {
    if (!isBound() || !isNameFree(name)) {
        return nullptr;
    }
    return keep(files_, name, std::make_unique<FileActor>(sceneManager_, services_, resource, fileName, type),
                engineFailure);
}

MeshActor* ActorManager::createMesh(const std::string& name, const std::string& resource,
                                    const std::string& meshFileName, std::string* engineFailure) {
    if (!isBound() || !(contains(meshFileName, ".mesh") || contains(meshFileName, ".MESH")) ||
        !isNameFree(name)) {
        return nullptr;
    }
    return keep(meshes_, name, std::make_unique<MeshActor>(sceneManager_, services_, resource, meshFileName),
                engineFailure);
}

LightActor* ActorManager::createLight(const std::string& name, std::string* engineFailure) {
    if (!isBound() || !isNameFree(name)) {
        return nullptr;
    }
    return keep(lights_, name, std::make_unique<LightActor>(sceneManager_, services_, name), engineFailure);
}

SceneActor* ActorManager::createScene(const std::string& name, const std::string& resource,
                                      const std::string& sceneFileName, std::string* engineFailure) {
    if (!isBound() || !(contains(sceneFileName, ".OSM") || contains(sceneFileName, ".osm")) ||
        !isNameFree(name)) {
        return nullptr;
    }
    return keep(scenes_, name,
                std::make_unique<SceneActor>(sceneManager_, services_, resource, sceneFileName),
                engineFailure);
}

MeshActor* ActorManager::findMesh(const std::string& name) const {
    return lookUp(meshes_, name);
}

LightActor* ActorManager::findLight(const std::string& name) const {
    return lookUp(lights_, name);
}

FileActor* ActorManager::findFile(const std::string& name) const {
    return lookUp(files_, name);
}

SceneActor* ActorManager::findScene(const std::string& name) const {
    return lookUp(scenes_, name);
}

Actor* ActorManager::find(const std::string& name) const {
    if (Actor* actor = findMesh(name)) {
        return actor;
    }
    if (Actor* actor = findFile(name)) {
        return actor;
    }
    if (Actor* actor = findLight(name)) {
        return actor;
    }
    return findScene(name);
}

void ActorManager::release(Actor& actor) {
    // A tracker may outlive the actor: whichever tracker the actor was connected to (also one
    // destroyed and made again under its name since), it must not keep the pointer.
    if (trackers_ != nullptr) {
        for (const std::string& trackerName : trackers_->getTrackerNames()) {
            if (Tracker* tracker = trackers_->find(trackerName)) {
                tracker->removeListener(&actor);
            }
        }
    }
    actor.removeFromScene();
}

template <class A> bool ActorManager::destroyIn(ActorMap<A>& map, const std::string& name) {
    auto found = map.find(name);
    if (found == map.end()) {
        return false;
    }
    std::unique_ptr<A> actor = std::move(found->second);
    map.erase(found);
    release(*actor);
    return true;
}

bool ActorManager::destroyMesh(const std::string& name) {
    return destroyIn(meshes_, name);
}

bool ActorManager::destroyScene(const std::string& name) {
    return destroyIn(scenes_, name);
}

bool ActorManager::destroyFile(const std::string& name) {
    return destroyIn(files_, name);
}

bool ActorManager::destroyLight(const std::string& name) {
    return destroyIn(lights_, name);
}

void ActorManager::destroy(const std::string& name) {
    if (!destroyMesh(name) && !destroyScene(name) && !destroyFile(name)) {
        destroyLight(name);
    }
}

template <class A> void ActorManager::destroyEvery(ActorMap<A>& map) {
    ActorMap<A> leaving;
    leaving.swap(map);
    for (auto& entry : leaving) {
        release(*entry.second);
    }
}

void ActorManager::destroyAll() {
    destroyEvery(meshes_);
    destroyEvery(scenes_);
    destroyEvery(files_);
    destroyEvery(lights_);
}

template <class Work> void ActorManager::forEach(Work work) {
    for (auto& entry : meshes_) {
        work(*entry.second);
    }
    for (auto& entry : scenes_) {
        work(*entry.second);
    }
    for (auto& entry : files_) {
        work(*entry.second);
    }
    for (auto& entry : lights_) {
        work(*entry.second);
    }
}

void ActorManager::update(float seconds) {
    forEach([seconds](Actor& actor) { actor.addTime(seconds); });
    // The engine applies a scene manager's own animations only when one of its cameras draws,
    // and the views scene manager draws through MAIN's camera unless the four views are shown:
    // scene actors' node animations would stand still. Applying them here is harmless when its
    // cameras draw as well, since each application starts from the nodes' initial state.
    if (sceneManager_ != nullptr) {
        sceneManager_->_applySceneAnimations();
    }
}

bool ActorManager::isAnimating() {
    bool animating = false;
    const auto playing = [&animating](const AnimatedActor& actor) {
        animating = animating || actor.isPlaying();
    };
    for (auto& entry : meshes_) {
        playing(*entry.second);
    }
    for (auto& entry : scenes_) {
        playing(*entry.second);
    }
    for (auto& entry : lights_) {
        playing(*entry.second);
    }
    if (!animating && sceneManager_ != nullptr) {
        for (const auto& state : sceneManager_->getAnimationStates()) {
            animating = animating || state.second->getEnabled();
        }
    }
    return animating;
}

void ActorManager::selectAll() {
    forEach([](Actor& actor) { actor.select(); });
}

void ActorManager::unselectAll() {
    forEach([](Actor& actor) { actor.unselect(); });
}

bool ActorManager::select(const std::string& name) {
    Actor* actor = find(name);
    if (actor == nullptr) {
        return false;
    }
    actor->select();
    return true;
}

bool ActorManager::unselect(const std::string& name) {
    Actor* actor = find(name);
    if (actor == nullptr) {
        return false;
    }
    actor->unselect();
    return true;
}

bool ActorManager::isSelected(const std::string& name) {
    Actor* actor = find(name);
    return actor != nullptr && actor->isSelected();
}

bool ActorManager::action(const std::string& name, const std::string& keyword, const std::string& argument) {
    Actor* actor = find(name);
    if (actor == nullptr) {
        return false;
    }
    actor->action(keyword, argument);
    return true;
}

void ActorManager::getAnimationNames(const std::string& name, std::set<std::string>& names) {
    Actor* actor = find(name);
    if (actor == nullptr) {
        names.clear();
        return;
    }
    actor->getAnimationNames(names);
}

bool ActorManager::attachViewCameras(const std::string& name, Ogre::Camera* top, Ogre::Camera* front,
                                     Ogre::Camera* left) {
    Actor* actor = find(name);
    if (actor == nullptr || actor->getNode() == nullptr || top == nullptr || front == nullptr ||
        left == nullptr) {
        return false;
    }
    try {
        for (Ogre::Camera* camera : {top, front, left}) {
            detachCamera(camera);
        }
        for (Ogre::Camera* camera : {top, front, left}) {
            actor->getNode()->attachObject(camera);
        }
        return true;
    } catch (const Ogre::Exception& error) {
        Ogre::LogManager::getSingleton().logMessage(error.getFullDescription());
        return false;
    }
}

std::set<std::string> ActorManager::getMeshNames() const {
    std::set<std::string> names;
    addNames(meshes_, names);
    return names;
}

std::set<std::string> ActorManager::getLightNames() const {
    std::set<std::string> names;
    addNames(lights_, names);
    return names;
}

std::set<std::string> ActorManager::getFileNames() const {
    std::set<std::string> names;
    addNames(files_, names);
    return names;
}

std::set<std::string> ActorManager::getSceneNames() const {
    std::set<std::string> names;
    addNames(scenes_, names);
    return names;
}

std::set<std::string> ActorManager::getAllNames() const {
    std::set<std::string> names;
    addNames(meshes_, names);
    addNames(lights_, names);
    addNames(files_, names);
    addNames(scenes_, names);
    return names;
}

Actor* ActorManager::findByNode(Ogre::SceneNode* node) const {
    if (node == nullptr) {
        return nullptr;
    }
    for (const std::string& name : getAllNames()) {
        Actor* actor = find(name);
        if (actor != nullptr && actor->ownsNode(node)) {
            return actor;
        }
    }
    return nullptr;
}
