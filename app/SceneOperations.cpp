// The project operations of the Scene: each takes the project lock, does its work, releases the
// lock and then broadcasts its event. Connection threads, and the main thread for the start-up
// command file and pointer interaction.
#include "app/Scene.h"

#include "actors/TransformLimits.h"
#include "app/CommandFileChannel.h"
#include "app/ProjectArchive.h"
#include "net/ListenerChannel.h"
#include "net/SceneParser.h"
#include "net/SentenceHandler.h"
#include "net/Server.h"
#include "platform/enginelog.h"
#include "platform/fileutil.h"
#include "project/Events.h"
#include "project/SceneSerializer.h"
#include "resources/PackageUnpacker.h"
#include "resources/Resource.h"
#include "video/VideoDevice.h"

#include <OGRE/Overlay/OgreOverlay.h>

#include <cctype>

namespace {
// The camera calibration, beside the player.
constexpr const char* CameraFile = "camera_para.dat";

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}
} // namespace

bool Scene::inProject(const std::function<void()>& work) {
    return tasks_.run([this, &work] {
        // The work runs between two frames, and nothing else touches the project meanwhile.
        VelOS::SemaphoreLock frame(frameLock_);
        VelOS::SemaphoreLock scene(sceneLock_);
        work();
        requestRedraw();
    });
}

bool Scene::readProject(const std::function<void()>& work) {
    return tasks_.run([this, &work] {
        VelOS::SemaphoreLock frame(frameLock_);
        VelOS::SemaphoreLock scene(sceneLock_);
        work();
    });
}

void Scene::runCommandFile(const std::string& path) {
    CommandFileChannel channel(path);
    SceneParser::dispatch(*this, channel);
}

void Scene::broadcast(const std::string& event) {
    const std::string line = event + "\n";
    VelOS::SemaphoreLock hold(sceneLock_);
    for (ListenerChannel* listener : listeners_) {
        listener->sendLine(line);
    }
}

void Scene::stopServer() {
    if (server_) {
        server_->stop();
        server_.reset();
    }
}

// ---------------------------------------------------------------- project and server

bool Scene::newProject() {
    bool cleared = false;
    inProject([&] {
        actors_.destroyAll();
        trackers_.destroyAll();
        resources_.clear(); // after the actors that show its meshes
        if (fourViews_) {
            toggleLayout();
        }
        selectedActor_ = nullptr;
        cleared = true;
    });
    return cleared;
}

bool Scene::load(const std::string& path) {
    Ogre::LogManager::getSingleton().logMessage("Open scene file :" + path);
    // The archive is unpacked on the main thread; every operation of the load then takes the
    // project lock on its own, as the commands would.
    const auto extract = [this](const std::string& archive, const std::string& directory) {
        bool extracted = false;
        tasks_.run([&] { extracted = extractProjectArchive(archive, directory); });
        return extracted;
    };
    return SceneSerializer::load(path, *this, *this, workDirectory_, extract);
}

bool Scene::save(const std::string& path) {
    Ogre::LogManager::getSingleton().logMessage("Save scene in :" + path);
    return SceneSerializer::save(path, *this, *this, workDirectory_);
}

bool Scene::netInit(int port) {
    bool started = false;
    inProject([&] {
        stopServer();
        server_ = std::make_unique<VelNet::Server>(serverPolicy_);
        started = server_->start(port, *handlerFactory_);
        netFailure_.clear();
        if (!started) {
            netFailure_ = "cannot listen on port " + std::to_string(port) +
                          " (taken by another program, or not a port)";
            VelOS::noteFailure(netFailure_);
        }
    });
    return started;
}

void Scene::netDone() {
    inProject([&] {
        stopServer();
        netFailure_.clear();
    });
}

bool Scene::setTitle(const std::string& title) {
    if (!readProject([&] { title_ = title; })) {
        return false;
    }
    broadcast(Events::titleChanged(title));
    return true;
}

bool Scene::getTitle(std::string& title) {
    return readProject([&] { title = title_; });
}

// ---------------------------------------------------------------- debug overlay

void Scene::debugShow() {
    bool changed = false;
    inProject([&] {
        if (debugOverlay_ != nullptr && !debugOverlay_->isVisible()) {
            debugOverlay_->show();
            changed = true;
        }
    });
    if (changed) {
        broadcast(Events::debugShowed());
    }
}

void Scene::debugHide() {
    bool changed = false;
    inProject([&] {
        if (debugOverlay_ != nullptr && debugOverlay_->isVisible()) {
            debugOverlay_->hide();
            changed = true;
        }
    });
    if (changed) {
        broadcast(Events::debugHided());
    }
}

bool Scene::debugIsVisible() {
    bool visible = false;
    readProject([&] { visible = debugOverlay_ != nullptr && debugOverlay_->isVisible(); });
    return visible;
}

// ---------------------------------------------------------------- video capture

bool Scene::videoCaptureInit(const std::string& device, const std::string& configuration) {
    bool initialised = false;
    inProject([&] {
        if (!capture_.initialise(device, configuration)) {
            return;
        }
        capture_.addSink(this);
        const int width = capture_.frameWidth();
        const int height = capture_.frameHeight();
        const int pixelSize = PixelFormat::bytesPerPixel(capture_.framePixelFormat());
        if (!tracking_.initialise(width, height, pixelSize, CameraFile)) {
            Ogre::LogManager::getSingleton().logMessage("Ostrevan::Manager not initialized!");
        }
        mainCamera_->setFOVy(Ogre::Degree(static_cast<Ogre::Real>(tracking_.verticalFieldOfView())));
        if (height > 0) {
            mainCamera_->setAspectRatio(static_cast<Ogre::Real>(width) / static_cast<Ogre::Real>(height));
        }
        shapeBackground(tracking_.camera(), width, height);
        initialised = true;
    });
    if (initialised) {
        broadcast(Events::videoCaptureInitialised(device, configuration));
    }
    return initialised;
}

void Scene::videoCaptureDone() {
    const bool done = inProject([&] {
        capture_.removeSink(this);
        capture_.stop();
        tracking_.finalise();
    });
    if (done) {
        broadcast(Events::videoCaptureFinalised());
    }
}

bool Scene::isCapturing() {
    bool capturing = false;
    readProject([&] { capturing = capture_.isCapturing(); });
    return capturing;
}

bool Scene::getDeviceName(std::string& name) {
    bool capturing = false;
    readProject([&] {
        capturing = capture_.isCapturing();
        if (capturing) {
            name = capture_.deviceName();
        } else {
            VelOS::noteFailure("no camera is running");
        }
    });
    return capturing;
}

bool Scene::getConfiguration(std::string& configuration) {
    bool capturing = false;
    readProject([&] {
        capturing = capture_.isCapturing();
        if (capturing) {
            configuration = capture_.configuration();
        } else {
            VelOS::noteFailure("no camera is running");
        }
    });
    return capturing;
}

void Scene::flipXSet() {
    if (inProject([&] { flipX_ = true; })) {
        broadcast(Events::flipXChanged(true));
    }
}

void Scene::flipXUnset() {
    if (inProject([&] { flipX_ = false; })) {
        broadcast(Events::flipXChanged(false));
    }
}

bool Scene::flipXGet() {
    bool value = false;
    readProject([&] { value = flipX_; });
    return value;
}

void Scene::flipYSet() {
    if (inProject([&] { flipY_ = true; })) {
        broadcast(Events::flipYChanged(true));
    }
}

void Scene::flipYUnset() {
    if (inProject([&] { flipY_ = false; })) {
        broadcast(Events::flipYChanged(false));
    }
}

bool Scene::flipYGet() {
    bool value = false;
    readProject([&] { value = flipY_; });
    return value;
}

void Scene::thresholdAuto() {
    if (inProject([&] { tracking_.automatic = true; })) {
        broadcast(Events::thresholdAutoChanged(true));
    }
}

void Scene::thresholdManual(int value) {
    if (inProject([&] {
            tracking_.automatic = false;
            tracking_.threshold = value;
        })) {
        broadcast(Events::thresholdAutoChanged(false));
        broadcast(Events::thresholdValueChanged(value));
    }
}

void Scene::thresholdManual() {
    if (inProject([&] { tracking_.automatic = false; })) {
        broadcast(Events::thresholdAutoHanged(false));
    }
}

bool Scene::thresholdIsAuto() {
    bool automatic = false;
    readProject([&] { automatic = tracking_.automatic; });
    return automatic;
}

bool Scene::thresholdGetValue(int& value) {
    return readProject([&] { value = tracking_.threshold; });
}

// ---------------------------------------------------------------- resources

bool Scene::resourceCreate(const std::string& name, const std::string& packagePath) {
    // Unpacking, the slow part, happens here on the caller's thread, with no lock held: other
    // clients are served and frames drawn meanwhile. Only the engine's part runs between frames.
    if (!Resource::isInsideWorkDirectory(workDirectory_, packagePath)) {
        return false;
    }
    PackageUnpacker unpacked;
    if (!unpacked.unpack(packagePath, workDirectory_)) {
        VelOS::noteFailure(unpacked.failure());
        return false;
    }
    bool created = false;
    inProject([&] { created = resources_.create(name, packagePath, &unpacked); });
    if (created) {
        broadcast(Events::resourceCreated(name, packagePath));
    }
    return created;
}

void Scene::resourceDestroy(const std::string& name) {
    // Mesh and scene actors draw the package's engine content, which goes with it: they are
    // destroyed first (each with its event), or the next frame would draw freed meshes.
    std::vector<std::string> meshes, scenes;
    inProject([&] {
        for (const std::string& mesh : actors_.getMeshNames()) {
            if (actors_.findMesh(mesh)->getResourceName() == name) {
                meshes.push_back(mesh);
            }
        }
        for (const std::string& scene : actors_.getSceneNames()) {
            if (actors_.findScene(scene)->getResourceName() == name) {
                scenes.push_back(scene);
            }
        }
    });
    for (const std::string& mesh : meshes) {
        meshDestroy(mesh);
    }
    for (const std::string& scene : scenes) {
        sceneDestroy(scene);
    }
    if (inProject([&] { resources_.destroy(name); })) {
        broadcast(Events::resourceDestroyed(name));
    }
}

void Scene::resourceGetList(std::string& list) {
    readProject([&] { list = Events::listText(resources_.getList()); });
}

void Scene::resourceGetFilesInside(const std::string& name, std::string& list) {
    std::set<std::string> files;
    readProject([&] { files = resources_.getFilesInside(name); });
    // Each file under its name inside the package: without the resource name and "_".
    std::set<std::string> inside;
    for (const std::string& file : files) {
        inside.insert(file.size() > name.size() ? file.substr(name.size() + 1) : std::string());
    }
    list = Events::listText(inside);
}

bool Scene::resourceGetFilename(const std::string& name, std::string& fileName) {
    bool found = false;
    readProject([&] {
        found = resources_.getFilename(name, fileName);
        if (!found) {
            VelOS::noteFailure("no resource named \"" + name + "\"");
        }
    });
    return found;
}

// ---------------------------------------------------------------- trackers

bool Scene::trackerCreate(const std::string& name, const std::string& patternFile, int width) {
    bool created = false;
    inProject([&] { created = trackers_.createAR(name, patternFile, width) != nullptr; });
    if (created) {
        broadcast(Events::trackerCreated(name, patternFile, width));
    }
    return created;
}

void Scene::trackerDestroy(const std::string& name) {
    if (inProject([&] { trackers_.destroy(name); })) {
        broadcast(Events::trackerDestroyed(name));
    }
}

void Scene::trackerGetList(std::string& list) {
    readProject([&] { list = Events::listText(trackers_.getTrackerNames()); });
}

bool Scene::trackerGetPatternFilename(const std::string& name, std::string& patternFile) {
    bool found = false;
    readProject([&] {
        if (ARTracker* tracker = trackers_.findAR(name)) {
            patternFile = tracker->patternFilename();
            found = true;
        } else {
            VelOS::noteFailure("no tracker named \"" + name + "\"");
        }
    });
    return found;
}

bool Scene::trackerGetWidth(const std::string& name, int& width) {
    bool found = false;
    readProject([&] {
        if (ARTracker* tracker = trackers_.findAR(name)) {
            width = tracker->width();
            found = true;
        } else {
            VelOS::noteFailure("no tracker named \"" + name + "\"");
        }
    });
    return found;
}

// ---------------------------------------------------------------- inventory

void Scene::destroyAllResources() {
    // As for one resource: the mesh and scene actors go first, with their events.
    std::set<std::string> meshes, scenes;
    inProject([&] {
        meshes = actors_.getMeshNames();
        scenes = actors_.getSceneNames();
    });
    for (const std::string& mesh : meshes) {
        meshDestroy(mesh);
    }
    for (const std::string& scene : scenes) {
        sceneDestroy(scene);
    }
    if (inProject([&] { resources_.clear(); })) {
        broadcast(Events::resourcesAllDestroyed());
    }
}

void Scene::destroyAllTrackers() {
    if (inProject([&] { trackers_.destroyAll(); })) {
        broadcast(Events::trackersAllDestroyed());
    }
}

void Scene::destroyAllActors() {
    if (inProject([&] {
            actors_.destroyAll();
            selectedActor_ = nullptr;
        })) {
        broadcast(Events::actorsAllDestroyed());
    }
}

void Scene::getResourceNames(std::set<std::string>& names) {
    readProject([&] { names = resources_.getList(); });
}

void Scene::getTrackerNames(std::set<std::string>& names) {
    readProject([&] { names = trackers_.getTrackerNames(); });
}

void Scene::getLightNames(std::set<std::string>& names) {
    readProject([&] { names = actors_.getLightNames(); });
}

void Scene::getFileNames(std::set<std::string>& names) {
    readProject([&] { names = actors_.getFileNames(); });
}

void Scene::getMeshNames(std::set<std::string>& names) {
    readProject([&] { names = actors_.getMeshNames(); });
}

void Scene::getSceneNames(std::set<std::string>& names) {
    readProject([&] { names = actors_.getSceneNames(); });
}

// ---------------------------------------------------------------- actors in general

bool Scene::actorsViewports(const std::string& actorName) {
    if (inProject([&] {
            const bool toFourViews = !fourViews_;
            toggleLayout();
            if (toFourViews) {
                actors_.attachViewCameras(actorName, topCamera_, frontCamera_, leftCamera_);
            }
        })) {
        broadcast(Events::actorsViewports(actorName));
    }
    return true;
}

void Scene::actorGetAnimationsList(const std::string& actorName, std::string& list) {
    list.clear();
    readProject([&] {
        std::set<std::string> names;
        actors_.getAnimationNames(actorName, names);
        list = Events::listText(names);
    });
}

bool Scene::actorAction(const std::string& actorName, const std::string& keyword,
                        const std::string& argument) {
    bool found = false;
    inProject([&] { found = actors_.action(actorName, keyword, argument); });
    return found;
}

bool Scene::actorsSelectAll() {
    if (inProject([&] { actors_.selectAll(); })) {
        broadcast(Events::actorsAllSelected());
    }
    return true;
}

bool Scene::actorsUnselectAll() {
    if (inProject([&] { actors_.unselectAll(); })) {
        broadcast(Events::actorsAllUnselected());
    }
    return true;
}

bool Scene::actorSelect(const std::string& actorName) {
    bool selected = false;
    inProject([&] {
        if (selectedActor_ != nullptr) {
            selectedActor_->unselect();
        }
        selectedActor_ = actors_.find(actorName);
        selected = actors_.select(actorName);
    });
    if (selected) {
        broadcast(Events::actorSelected(actorName));
    }
    return selected;
}

bool Scene::actorUnselect(const std::string& actorName) {
    bool unselected = false;
    inProject([&] {
        selectedActor_ = nullptr;
        unselected = actors_.unselect(actorName);
    });
    if (unselected) {
        broadcast(Events::actorUnselected(actorName));
    }
    return unselected;
}

bool Scene::actorIsSelected(const std::string& actorName) {
    bool selected = false;
    readProject([&] { selected = actors_.isSelected(actorName); });
    return selected;
}

// ---------------------------------------------------------------- actor blocks, shared steps

const char* Scene::kindWord(ActorKind kind) {
    switch (kind) {
    case ActorKind::Light:
        return "light";
    case ActorKind::File:
        return "file";
    case ActorKind::Mesh:
        return "mesh";
    case ActorKind::Scene:
        break;
    }
    return "scene";
}

Actor* Scene::findActor(ActorKind kind, const std::string& name) {
    switch (kind) {
    case ActorKind::Light:
        return actors_.findLight(name);
    case ActorKind::File:
        return actors_.findFile(name);
    case ActorKind::Mesh:
        return actors_.findMesh(name);
    case ActorKind::Scene:
        break;
    }
    return actors_.findScene(name);
}

bool Scene::readActor(ActorKind kind, const std::string& name, const std::function<void(Actor&)>& read) {
    bool found = false;
    readProject([&] {
        if (Actor* actor = findActor(kind, name)) {
            read(*actor);
            found = true;
        } else {
            noteNoActor(kind, name);
        }
    });
    return found;
}

bool Scene::changeActor(ActorKind kind, const std::string& name, const std::function<bool(Actor&)>& change) {
    bool changed = false;
    inProject([&] {
        if (Actor* actor = findActor(kind, name)) {
            changed = change(*actor);
            if (!changed) {
                VelOS::noteFailure("a number is not finite or beyond " +
                                   std::to_string(int(Transform::MaximumMagnitude)) +
                                   ", or the rotation has no length");
            }
        } else {
            noteNoActor(kind, name);
        }
    });
    return changed;
}

void Scene::noteNoActor(ActorKind kind, const std::string& name) {
    VelOS::noteFailure(std::string("no ") + kindWord(kind) + " actor named \"" + name + "\"");
}

void Scene::noteCreateFailure(const std::string& name, const std::string& resource,
                              const std::string& fileName, const char* extension) {
    const std::string engineReason = VelOS::takeFailureReason();
    std::set<std::string> files;
    if (actors_.find(name) != nullptr) {
        VelOS::noteFailure("an actor named \"" + name + "\" exists");
    } else if (extension != nullptr && lowerCase(fileName).find(extension) == std::string::npos) {
        VelOS::noteFailure("\"" + fileName + "\" is not a " + extension + " file");
    } else if (!resources_.getList().count(resource)) {
        VelOS::noteFailure("no resource named \"" + resource + "\"");
    } else if (!(files = resources_.getFilesInside(resource)).count(resource + "_" + fileName)) {
        VelOS::noteFailure("\"" + fileName + "\" is not in the package of \"" + resource + "\"");
    } else {
        VelOS::noteFailure(engineReason.empty() ? "the engine refused it (see the lines above)"
                                                : engineReason);
    }
}

void Scene::destroyActor(ActorKind kind, const std::string& name) {
    unconnectActor(kind, name);
    if (inProject([&] {
            Actor* actor = actors_.find(name);
            if (selectedActor_ != nullptr && actor == selectedActor_) {
                selectedActor_->unselect();
                selectedActor_ = nullptr;
            }
            // Whatever kind holds the name; the actor leaves its tracker before it goes.
            actors_.destroy(name);
        })) {
        broadcast(Events::actorDestroyed(kindWord(kind), name));
    }
}

void Scene::actorList(ActorKind kind, std::string& list) {
    list.clear();
    readProject([&] {
        switch (kind) {
        case ActorKind::Light:
            list = Events::listText(actors_.getLightNames());
            break;
        case ActorKind::File:
            list = Events::listText(actors_.getFileNames());
            break;
        case ActorKind::Mesh:
            list = Events::listText(actors_.getMeshNames());
            break;
        case ActorKind::Scene:
            list = Events::listText(actors_.getSceneNames());
            break;
        }
    });
}

bool Scene::actorTrackerName(ActorKind kind, const std::string& name, std::string& trackerName) {
    return readActor(kind, name, [&](Actor& actor) { trackerName = actor.getTrackerName(); });
}

bool Scene::connectActor(ActorKind kind, const std::string& name, const std::string& trackerName) {
    bool connected = false;
    inProject([&] {
        Tracker* tracker = trackers_.find(trackerName);
        Actor* actor = findActor(kind, name);
        if (actor == nullptr) {
            noteNoActor(kind, name);
            return;
        }
        if (tracker == nullptr) {
            VelOS::noteFailure("no tracker named \"" + trackerName + "\"");
            return;
        }
        if (Tracker* previous = trackers_.find(actor->getTrackerName())) {
            previous->removeListener(actor);
        }
        tracker->addListener(actor);
        actor->setTrackerName(trackerName);
        connected = true;
    });
    if (connected) {
        broadcast(Events::actorConnected(kindWord(kind), name, trackerName));
    }
    return connected;
}

bool Scene::unconnectActor(ActorKind kind, const std::string& name) {
    bool unconnected = false;
    inProject([&] {
        Actor* actor = findActor(kind, name);
        if (actor == nullptr) {
            noteNoActor(kind, name);
            return;
        }
        if (Tracker* tracker = trackers_.find(actor->getTrackerName())) {
            tracker->removeListener(actor);
        }
        actor->setTrackerName(std::string());
        unconnected = true;
    });
    if (unconnected) {
        broadcast(Events::actorUnconnected(kindWord(kind), name));
    }
    return unconnected;
}

bool Scene::translateActor(ActorKind kind, const std::string& name, double x, double y, double z) {
    if (!changeActor(kind, name, [&](Actor& actor) { return actor.setPosition(x, y, z); })) {
        return false;
    }
    broadcast(Events::actorTranslated(kindWord(kind), name, x, y, z));
    return true;
}

bool Scene::actorTranslation(ActorKind kind, const std::string& name, double& x, double& y, double& z) {
    return readActor(kind, name, [&](Actor& actor) {
        x = actor.getPosition().x;
        y = actor.getPosition().y;
        z = actor.getPosition().z;
    });
}

bool Scene::turnActor(ActorKind kind, const std::string& name, const std::function<bool(Actor&)>& turn) {
    double pitch = 0, yaw = 0, roll = 0;
    if (!changeActor(kind, name, [&](Actor& actor) {
            if (!turn(actor)) {
                return false;
            }
            pitch = actor.getPitch();
            yaw = actor.getYaw();
            roll = actor.getRoll();
            return true;
        })) {
        return false;
    }
    broadcast(Events::actorRotated(kindWord(kind), name, pitch, yaw, roll));
    return true;
}

bool Scene::actorRotation(ActorKind kind, const std::string& name, double& w, double& x, double& y,
                          double& z) {
    return readActor(kind, name, [&](Actor& actor) {
        w = actor.getOrientation().w;
        x = actor.getOrientation().x;
        y = actor.getOrientation().y;
        z = actor.getOrientation().z;
    });
}

bool Scene::actorAngles(ActorKind kind, const std::string& name, double& pitch, double& yaw, double& roll) {
    return readActor(kind, name, [&](Actor& actor) {
        pitch = actor.getPitch();
        yaw = actor.getYaw();
        roll = actor.getRoll();
    });
}

bool Scene::scaleActor(ActorKind kind, const std::string& name, double x, double y, double z) {
    if (!changeActor(kind, name, [&](Actor& actor) { return actor.setScale(x, y, z); })) {
        return false;
    }
    broadcast(Events::actorScaled(kindWord(kind), name, x, y, z));
    return true;
}

bool Scene::actorScale(ActorKind kind, const std::string& name, double& x, double& y, double& z) {
    return readActor(kind, name, [&](Actor& actor) {
        x = actor.getScale().x;
        y = actor.getScale().y;
        z = actor.getScale().z;
    });
}

// ---------------------------------------------------------------- light actors

bool Scene::lightCreate(const std::string& name) {
    bool created = false;
    inProject([&] {
        created = actors_.createLight(name) != nullptr;
        if (!created) {
            noteCreateFailure(name, std::string(), std::string(), nullptr);
        }
    });
    if (created) {
        broadcast(Events::lightCreated(name));
    }
    return created;
}
void Scene::lightDestroy(const std::string& name) {
    destroyActor(ActorKind::Light, name);
}
void Scene::lightGetList(std::string& list) {
    actorList(ActorKind::Light, list);
}
bool Scene::lightGetLightName(const std::string& name, std::string& lightName) {
    return readActor(ActorKind::Light, name,
                     [&](Actor& actor) { lightName = static_cast<LightActor&>(actor).getLightName(); });
}
bool Scene::lightGetTrackerName(const std::string& name, std::string& trackerName) {
    return actorTrackerName(ActorKind::Light, name, trackerName);
}
bool Scene::lightConnect(const std::string& name, const std::string& trackerName) {
    return connectActor(ActorKind::Light, name, trackerName);
}
bool Scene::lightUnconnect(const std::string& name) {
    return unconnectActor(ActorKind::Light, name);
}
bool Scene::lightTranslate(const std::string& name, double x, double y, double z) {
    return translateActor(ActorKind::Light, name, x, y, z);
}
bool Scene::lightGetTranslation(const std::string& name, double& x, double& y, double& z) {
    return actorTranslation(ActorKind::Light, name, x, y, z);
}

// ---------------------------------------------------------------- file actors

bool Scene::fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                       const std::string& type) {
    bool created = false;
    inProject([&] {
        created = actors_.createFile(name, resource, fileName, type) != nullptr;
        if (!created) {
            noteCreateFailure(name, resource, fileName, nullptr);
        }
    });
    if (created) {
        broadcast(Events::fileCreated(name, resource, fileName, type));
    }
    return created;
}
void Scene::fileDestroy(const std::string& name) {
    destroyActor(ActorKind::File, name);
}
void Scene::fileGetList(std::string& list) {
    actorList(ActorKind::File, list);
}
bool Scene::fileGetType(const std::string& name, std::string& type) {
    return readActor(ActorKind::File, name,
                     [&](Actor& actor) { type = static_cast<FileActor&>(actor).getType(); });
}
bool Scene::fileGetResourceName(const std::string& name, std::string& resource) {
    return readActor(ActorKind::File, name,
                     [&](Actor& actor) { resource = static_cast<FileActor&>(actor).getResourceName(); });
}
bool Scene::fileGetFileName(const std::string& name, std::string& fileName) {
    return readActor(ActorKind::File, name,
                     [&](Actor& actor) { fileName = static_cast<FileActor&>(actor).getFileName(); });
}
bool Scene::fileGetTrackerName(const std::string& name, std::string& trackerName) {
    return actorTrackerName(ActorKind::File, name, trackerName);
}
bool Scene::fileConnect(const std::string& name, const std::string& trackerName) {
    return connectActor(ActorKind::File, name, trackerName);
}
bool Scene::fileUnconnect(const std::string& name) {
    return unconnectActor(ActorKind::File, name);
}
bool Scene::fileTranslate(const std::string& name, double x, double y, double z) {
    return translateActor(ActorKind::File, name, x, y, z);
}
bool Scene::fileGetTranslation(const std::string& name, double& x, double& y, double& z) {
    return actorTranslation(ActorKind::File, name, x, y, z);
}

// ---------------------------------------------------------------- mesh actors

bool Scene::meshCreate(const std::string& name, const std::string& resource, const std::string& meshName) {
    bool created = false;
    inProject([&] {
        created = actors_.createMesh(name, resource, meshName) != nullptr;
        if (!created) {
            noteCreateFailure(name, resource, meshName, ".mesh");
        }
    });
    if (created) {
        broadcast(Events::meshCreated(name, resource, meshName));
    }
    return created;
}
void Scene::meshDestroy(const std::string& name) {
    destroyActor(ActorKind::Mesh, name);
}
void Scene::meshGetList(std::string& list) {
    actorList(ActorKind::Mesh, list);
}
bool Scene::meshGetResourceName(const std::string& name, std::string& resource) {
    return readActor(ActorKind::Mesh, name,
                     [&](Actor& actor) { resource = static_cast<MeshActor&>(actor).getResourceName(); });
}
bool Scene::meshGetMeshName(const std::string& name, std::string& meshName) {
    return readActor(ActorKind::Mesh, name,
                     [&](Actor& actor) { meshName = static_cast<MeshActor&>(actor).getMeshName(); });
}
bool Scene::meshGetTrackerName(const std::string& name, std::string& trackerName) {
    return actorTrackerName(ActorKind::Mesh, name, trackerName);
}
bool Scene::meshConnect(const std::string& name, const std::string& trackerName) {
    return connectActor(ActorKind::Mesh, name, trackerName);
}
bool Scene::meshUnconnect(const std::string& name) {
    return unconnectActor(ActorKind::Mesh, name);
}
bool Scene::meshTranslate(const std::string& name, double x, double y, double z) {
    return translateActor(ActorKind::Mesh, name, x, y, z);
}
bool Scene::meshGetTranslation(const std::string& name, double& x, double& y, double& z) {
    return actorTranslation(ActorKind::Mesh, name, x, y, z);
}
bool Scene::meshRotate(const std::string& name, double w, double x, double y, double z) {
    return turnActor(ActorKind::Mesh, name, [&](Actor& actor) { return actor.setOrientation(w, x, y, z); });
}
bool Scene::meshPitch(const std::string& name, double degrees) {
    return turnActor(ActorKind::Mesh, name, [&](Actor& actor) { return actor.pitch(degrees); });
}
bool Scene::meshYaw(const std::string& name, double degrees) {
    return turnActor(ActorKind::Mesh, name, [&](Actor& actor) { return actor.yaw(degrees); });
}
bool Scene::meshRoll(const std::string& name, double degrees) {
    return turnActor(ActorKind::Mesh, name, [&](Actor& actor) { return actor.roll(degrees); });
}
bool Scene::meshGetRotation(const std::string& name, double& w, double& x, double& y, double& z) {
    return actorRotation(ActorKind::Mesh, name, w, x, y, z);
}
bool Scene::meshGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) {
    return actorAngles(ActorKind::Mesh, name, pitch, yaw, roll);
}
bool Scene::meshScale(const std::string& name, double x, double y, double z) {
    return scaleActor(ActorKind::Mesh, name, x, y, z);
}
bool Scene::meshGetScale(const std::string& name, double& x, double& y, double& z) {
    return actorScale(ActorKind::Mesh, name, x, y, z);
}

// ---------------------------------------------------------------- scene actors

bool Scene::sceneCreate(const std::string& name, const std::string& resource, const std::string& sceneName) {
    bool created = false;
    inProject([&] {
        created = actors_.createScene(name, resource, sceneName) != nullptr;
        if (!created) {
            noteCreateFailure(name, resource, sceneName, ".osm");
        }
    });
    if (created) {
        broadcast(Events::sceneCreated(name, resource, sceneName));
    }
    return created;
}
void Scene::sceneDestroy(const std::string& name) {
    destroyActor(ActorKind::Scene, name);
}
void Scene::sceneGetList(std::string& list) {
    actorList(ActorKind::Scene, list);
}
bool Scene::sceneGetResourceName(const std::string& name, std::string& resource) {
    return readActor(ActorKind::Scene, name,
                     [&](Actor& actor) { resource = static_cast<SceneActor&>(actor).getResourceName(); });
}
bool Scene::sceneGetSceneName(const std::string& name, std::string& sceneName) {
    return readActor(ActorKind::Scene, name,
                     [&](Actor& actor) { sceneName = static_cast<SceneActor&>(actor).getSceneName(); });
}
bool Scene::sceneGetTrackerName(const std::string& name, std::string& trackerName) {
    return actorTrackerName(ActorKind::Scene, name, trackerName);
}
bool Scene::sceneConnect(const std::string& name, const std::string& trackerName) {
    return connectActor(ActorKind::Scene, name, trackerName);
}
bool Scene::sceneUnconnect(const std::string& name) {
    return unconnectActor(ActorKind::Scene, name);
}
bool Scene::sceneTranslate(const std::string& name, double x, double y, double z) {
    return translateActor(ActorKind::Scene, name, x, y, z);
}
bool Scene::sceneGetTranslation(const std::string& name, double& x, double& y, double& z) {
    return actorTranslation(ActorKind::Scene, name, x, y, z);
}
bool Scene::sceneRotate(const std::string& name, double w, double x, double y, double z) {
    return turnActor(ActorKind::Scene, name, [&](Actor& actor) { return actor.setOrientation(w, x, y, z); });
}
bool Scene::scenePitch(const std::string& name, double degrees) {
    return turnActor(ActorKind::Scene, name, [&](Actor& actor) { return actor.pitch(degrees); });
}
bool Scene::sceneYaw(const std::string& name, double degrees) {
    return turnActor(ActorKind::Scene, name, [&](Actor& actor) { return actor.yaw(degrees); });
}
bool Scene::sceneRoll(const std::string& name, double degrees) {
    return turnActor(ActorKind::Scene, name, [&](Actor& actor) { return actor.roll(degrees); });
}
bool Scene::sceneGetRotation(const std::string& name, double& w, double& x, double& y, double& z) {
    return actorRotation(ActorKind::Scene, name, w, x, y, z);
}
bool Scene::sceneGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) {
    return actorAngles(ActorKind::Scene, name, pitch, yaw, roll);
}
bool Scene::sceneScale(const std::string& name, double x, double y, double z) {
    return scaleActor(ActorKind::Scene, name, x, y, z);
}
bool Scene::sceneGetScale(const std::string& name, double& x, double& y, double& z) {
    return actorScale(ActorKind::Scene, name, x, y, z);
}
