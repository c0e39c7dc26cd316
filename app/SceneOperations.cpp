// The project operations of the Scene: each takes the project lock, does its work, releases the
// lock and then broadcasts its event. Connection threads, and the main thread for the start-up
// command file and pointer interaction.
#include "app/Scene.h"

#include "app/CommandFileChannel.h"
#include "app/ProjectArchive.h"
#include "net/SceneParser.h"
#include "net/SentenceHandler.h"
#include "net/Server.h"
#include "platform/enginelog.h"
#include "platform/fileutil.h"
#include "project/Events.h"
#include "project/ListenerChannel.h"
#include "project/SceneSerializer.h"
#include "project/TransformLimits.h"
#include "resources/PackageUnpacker.h"
#include "resources/Resource.h"
#include "video/VideoDevice.h"

#include <OGRE/Overlay/OgreOverlay.h>

#include <cctype>

namespace {
// The camera calibration, beside the player.
constexpr const char* CameraFile = "camera_para.dat";

void noteNoActorNamed(const std::string& name) {
    VelOS::noteFailure("no actor named \"" + name + "\"");
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}
} // namespace

bool Scene::inProject(const std::function<void()>& work) {
    return tasks_.run([this, &work] {
        // The work runs between two frames, and nothing else touches the engine meanwhile.
        VelOS::SemaphoreLock frame(frameLock_);
        VelOS::SemaphoreLock scene(sceneLock_);
        applyClientChanges();
        work();
        publish();
        requestRedraw();
    });
}

void Scene::announce(const std::string& event) {
    outbox_.push_back(event);
}

void Scene::applyClientChanges() {
    bool titleChanged = false;
    std::string title;
    for (const auto& [name, transform] : model_.takeMoved(&titleChanged, &title)) {
        if (Actor* actor = actors_.find(name)) {
            actor->setTransform(transform);
        }
    }
    if (titleChanged) {
        title_ = title;
    }
}

void Scene::publish() {
    ProjectState state;
    state.title = title_;
    const auto addActors = [&](ProjectState::Kind kind, const std::set<std::string>& names) {
        for (const std::string& name : names) {
            Actor* actor = findActor(kind, name);
            if (actor == nullptr) {
                continue;
            }
            ProjectState::Actor& record = state.actors[name];
            record.kind = kind;
            record.tracker = actor->getTrackerName();
            record.selected = actor->isSelected();
            record.transform = actor->getTransform();
            actor->getAnimationNames(record.animations);
            switch (kind) {
            case ProjectState::Kind::Light:
                record.source = static_cast<LightActor*>(actor)->getLightName();
                break;
            case ProjectState::Kind::File:
                record.resource = static_cast<FileActor*>(actor)->getResourceName();
                record.source = static_cast<FileActor*>(actor)->getFileName();
                record.type = static_cast<FileActor*>(actor)->getType();
                break;
            case ProjectState::Kind::Mesh:
                record.resource = static_cast<MeshActor*>(actor)->getResourceName();
                record.source = static_cast<MeshActor*>(actor)->getMeshName();
                break;
            case ProjectState::Kind::Scene:
                record.resource = static_cast<SceneActor*>(actor)->getResourceName();
                record.source = static_cast<SceneActor*>(actor)->getSceneName();
                break;
            }
        }
    };
    addActors(ProjectState::Kind::Light, actors_.getLightNames());
    addActors(ProjectState::Kind::File, actors_.getFileNames());
    addActors(ProjectState::Kind::Mesh, actors_.getMeshNames());
    addActors(ProjectState::Kind::Scene, actors_.getSceneNames());
    for (const std::string& name : trackers_.getTrackerNames()) {
        if (ARTracker* tracker = trackers_.findAR(name)) {
            state.trackers[name] = {tracker->patternFilename(), tracker->width()};
        }
    }
    for (const std::string& name : resources_.getList()) {
        ProjectState::Resource& resource = state.resources[name];
        resources_.getFilename(name, resource.packageFileName);
        resource.files = resources_.getFilesInside(name);
    }
    state.debugVisible = debugOverlay_ != nullptr && debugOverlay_->isVisible();
    state.flipX = flipX_;
    state.flipY = flipY_;
    state.thresholdAutomatic = tracking_.automatic;
    model_.synchronise(std::move(state), outbox_);
    outbox_.clear();
}

bool Scene::readProject(const std::function<void(const ProjectState&)>& read) {
    model_.read(read);
    return true;
}

void Scene::runCommandFile(const std::string& path) {
    CommandFileChannel channel(path);
    SceneParser::dispatch(*this, channel);
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
        ++projectGeneration_; // a package being unpacked now belongs to the old project
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
    // A package another client is unpacking now belongs to the project being replaced.
    ++projectGeneration_;
    // The archive is unpacked here, on the caller's thread, while other clients are served; every
    // operation of the load then takes the project lock on its own, as the commands would.
    return SceneSerializer::load(path, *this, *this, workDirectory_, extractProjectArchive);
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
    // The model's change alone. The title shows only in the debug overlay, which is redrawn
    // every turn while it shows: no drawing is asked for.
    model_.change([&](ProjectState& state, std::vector<std::string>& events) {
        state.title = title;
        model_.markTitle();
        events.push_back(Events::titleChanged(title));
    });
    return true;
}

bool Scene::getTitle(std::string& title) {
    return readProject([&](const ProjectState& state) { title = state.title; });
}

// ---------------------------------------------------------------- debug overlay

void Scene::debugShow() {
    bool changed = false;
    inProject([&] {
        if (debugOverlay_ != nullptr && !debugOverlay_->isVisible()) {
            debugOverlay_->show();
            changed = true;
        }
        if (changed) {
            announce(Events::debugShowed());
        }
    });
}

void Scene::debugHide() {
    bool changed = false;
    inProject([&] {
        if (debugOverlay_ != nullptr && debugOverlay_->isVisible()) {
            debugOverlay_->hide();
            changed = true;
        }
        if (changed) {
            announce(Events::debugHided());
        }
    });
}

bool Scene::debugIsVisible() {
    bool visible = false;
    readProject([&](const ProjectState& state) { visible = state.debugVisible; });
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
        calibrationNote_.clear();
        const Ostrevan::CameraParameters* file = tracking_.loadedCamera();
        if (file != nullptr && Ostrevan::madeForOtherAspect(*file, width, height)) {
            calibrationNote_ = std::string(CameraFile) + " was made for " + std::to_string(file->width) +
                               "x" + std::to_string(file->height) + ", not " + std::to_string(width) + "x" +
                               std::to_string(height) + ": taken as a cropped mode of that camera";
            VelOS::logFailure("VelVideoCapture::initialise: " + calibrationNote_);
        }
        showFrameInView(tracking_.camera(), width, height);
        initialised = true;
        announce(Events::videoCaptureInitialised(device, configuration));
    });
    return initialised;
}

void Scene::videoCaptureDone() {
    inProject([&] {
        capture_.removeSink(this);
        capture_.stop();
        tracking_.finalise();
        announce(Events::videoCaptureFinalised());
    });
}

bool Scene::isCapturing() {
    return capture_.isCapturing();
}

bool Scene::getDeviceName(std::string& name) {
    // The capture answers for itself without waiting for a frame.
    if (!capture_.isCapturing()) {
        VelOS::noteFailure("no camera is running");
        return false;
    }
    name = capture_.deviceName();
    return true;
}

bool Scene::getConfiguration(std::string& configuration) {
    if (!capture_.isCapturing()) {
        VelOS::noteFailure("no camera is running");
        return false;
    }
    configuration = capture_.configuration();
    return true;
}

void Scene::flipXSet() {
    inProject([&] {
        flipX_ = true;
        announce(Events::flipXChanged(true));
    });
}

void Scene::flipXUnset() {
    inProject([&] {
        flipX_ = false;
        announce(Events::flipXChanged(false));
    });
}

bool Scene::flipXGet() {
    bool value = false;
    readProject([&](const ProjectState& state) { value = state.flipX; });
    return value;
}

void Scene::flipYSet() {
    inProject([&] {
        flipY_ = true;
        announce(Events::flipYChanged(true));
    });
}

void Scene::flipYUnset() {
    inProject([&] {
        flipY_ = false;
        announce(Events::flipYChanged(false));
    });
}

bool Scene::flipYGet() {
    bool value = false;
    readProject([&](const ProjectState& state) { value = state.flipY; });
    return value;
}

void Scene::thresholdAuto() {
    inProject([&] {
        tracking_.automatic = true;
        announce(Events::thresholdAutoChanged(true));
    });
}

void Scene::thresholdManual(int value) {
    inProject([&] {
        tracking_.automatic = false;
        tracking_.threshold = value;
        threshold_ = value;
        announce(Events::thresholdAutoChanged(false));
        announce(Events::thresholdValueChanged(value));
    });
}

void Scene::thresholdManual() {
    inProject([&] {
        tracking_.automatic = false;
        announce(Events::thresholdAutoHanged(false));
    });
}

bool Scene::thresholdIsAuto() {
    bool automatic = false;
    readProject([&](const ProjectState& state) { automatic = state.thresholdAutomatic; });
    return automatic;
}

bool Scene::thresholdGetValue(int& value) {
    // The level in use: set by hand, or found in the last frame in automatic mode.
    value = threshold_.load();
    return true;
}

// ---------------------------------------------------------------- resources

bool Scene::resourceCreate(const std::string& name, const std::string& packagePath) {
    // Unpacking, the slow part, happens here on the caller's thread, with no lock held: other
    // clients are served and frames drawn meanwhile. Only the engine's part runs between frames.
    if (!Resource::isInsideWorkDirectory(workDirectory_, packagePath)) {
        VelOS::noteFailure("the package is not a file of the work directory");
        return false;
    }
    const std::uint64_t generation = projectGeneration_;
    PackageUnpacker unpacked;
    if (!unpacked.unpack(packagePath, workDirectory_)) {
        VelOS::noteFailure(unpacked.failure());
        return false;
    }
    bool created = false;
    inProject([&] {
        if (generation != projectGeneration_) {
            VelOS::noteFailure(
                "the project was replaced (project.new or project.load) while the package unpacked");
            return;
        }
        created = resources_.create(name, packagePath, &unpacked);
        if (created) {
            announce(Events::resourceCreated(name, packagePath));
        }
    });
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
        destroyActor(ActorKind::Mesh, mesh);
    }
    for (const std::string& scene : scenes) {
        destroyActor(ActorKind::Scene, scene);
    }
    inProject([&] {
        resources_.destroy(name);
        announce(Events::resourceDestroyed(name));
    });
}

void Scene::resourceGetList(std::string& list) {
    std::set<std::string> names;
    getResourceNames(names);
    list = Events::listText(names);
}

void Scene::resourceGetFilesInside(const std::string& name, std::string& list) {
    std::set<std::string> files;
    readProject([&](const ProjectState& state) {
        const auto found = state.resources.find(name);
        if (found != state.resources.end()) {
            files = found->second.files;
        }
    });
    // Each file under its name inside the package: without the resource name and "_".
    std::set<std::string> inside;
    for (const std::string& file : files) {
        inside.insert(file.size() > name.size() ? file.substr(name.size() + 1) : std::string());
    }
    list = Events::listText(inside);
}

bool Scene::resourceGetFilename(const std::string& name, std::string& fileName) {
    bool found = false;
    readProject([&](const ProjectState& state) {
        const auto resource = state.resources.find(name);
        found = resource != state.resources.end();
        if (found) {
            fileName = resource->second.packageFileName;
        } else {
            VelOS::noteFailure("no resource named \"" + name + "\"");
        }
    });
    return found;
}

// ---------------------------------------------------------------- trackers

bool Scene::trackerCreate(const std::string& name, const std::string& patternFile, int width) {
    bool created = false;
    inProject([&] {
        created = trackers_.createAR(name, patternFile, width) != nullptr;
        if (created) {
            announce(Events::trackerCreated(name, patternFile, width));
        }
    });
    return created;
}

void Scene::trackerDestroy(const std::string& name) {
    inProject([&] {
        trackers_.destroy(name);
        announce(Events::trackerDestroyed(name));
    });
}

void Scene::trackerGetList(std::string& list) {
    std::set<std::string> names;
    getTrackerNames(names);
    list = Events::listText(names);
}

bool Scene::readTracker(const std::string& name,
                        const std::function<void(const ProjectState::Tracker&)>& read) {
    bool found = false;
    readProject([&](const ProjectState& state) {
        const auto tracker = state.trackers.find(name);
        found = tracker != state.trackers.end();
        if (found) {
            read(tracker->second);
        } else {
            VelOS::noteFailure("no tracker named \"" + name + "\"");
        }
    });
    return found;
}

bool Scene::trackerGetPatternFilename(const std::string& name, std::string& patternFile) {
    return readTracker(name,
                       [&](const ProjectState::Tracker& tracker) { patternFile = tracker.patternFile; });
}

bool Scene::trackerGetWidth(const std::string& name, int& width) {
    return readTracker(name, [&](const ProjectState::Tracker& tracker) { width = tracker.width; });
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
        destroyActor(ActorKind::Mesh, mesh);
    }
    for (const std::string& scene : scenes) {
        destroyActor(ActorKind::Scene, scene);
    }
    inProject([&] {
        resources_.clear();
        announce(Events::resourcesAllDestroyed());
    });
}

void Scene::destroyAllTrackers() {
    inProject([&] {
        trackers_.destroyAll();
        announce(Events::trackersAllDestroyed());
    });
}

void Scene::destroyAllActors() {
    inProject([&] {
        actors_.destroyAll();
        selectedActor_ = nullptr;
        announce(Events::actorsAllDestroyed());
    });
}

void Scene::getResourceNames(std::set<std::string>& names) {
    names.clear();
    readProject([&](const ProjectState& state) {
        for (const auto& entry : state.resources) {
            names.insert(entry.first);
        }
    });
}

void Scene::getTrackerNames(std::set<std::string>& names) {
    names.clear();
    readProject([&](const ProjectState& state) {
        for (const auto& entry : state.trackers) {
            names.insert(entry.first);
        }
    });
}

void Scene::getLightNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::Light); });
}

void Scene::getFileNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::File); });
}

void Scene::getMeshNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::Mesh); });
}

void Scene::getSceneNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::Scene); });
}

// ---------------------------------------------------------------- actors in general

bool Scene::actorsViewports(const std::string& actorName) {
    inProject([&] {
        const bool toFourViews = !fourViews_;
        toggleLayout();
        if (toFourViews) {
            actors_.attachViewCameras(actorName, topCamera_, frontCamera_, leftCamera_);
        }
        announce(Events::actorsViewports(actorName));
    });
    return true;
}

void Scene::actorGetAnimationsList(const std::string& actorName, std::string& list) {
    readProject([&](const ProjectState& state) {
        const auto actor = state.actors.find(actorName);
        list = Events::listText(actor != state.actors.end() ? actor->second.animations
                                                            : std::set<std::string>());
    });
}

bool Scene::actorAction(const std::string& actorName, const std::string& keyword,
                        const std::string& argument) {
    bool found = false;
    inProject([&] { found = actors_.action(actorName, keyword, argument); });
    if (!found) {
        noteNoActorNamed(actorName);
    }
    return found;
}

bool Scene::actorsSelectAll() {
    inProject([&] {
        actors_.selectAll();
        announce(Events::actorsAllSelected());
    });
    return true;
}

bool Scene::actorsUnselectAll() {
    inProject([&] {
        actors_.unselectAll();
        announce(Events::actorsAllUnselected());
    });
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
        if (selected) {
            announce(Events::actorSelected(actorName));
        }
    });
    if (!selected) {
        noteNoActorNamed(actorName);
    }
    return selected;
}

bool Scene::actorUnselect(const std::string& actorName) {
    bool unselected = false;
    inProject([&] {
        selectedActor_ = nullptr;
        unselected = actors_.unselect(actorName);
        if (unselected) {
            announce(Events::actorUnselected(actorName));
        }
    });
    if (!unselected) {
        noteNoActorNamed(actorName);
    }
    return unselected;
}

bool Scene::actorIsSelected(const std::string& actorName) {
    bool selected = false;
    readProject([&](const ProjectState& state) {
        const auto actor = state.actors.find(actorName);
        selected = actor != state.actors.end() && actor->second.selected;
        // "fail" is this command's "no": its line says which.
        if (actor == state.actors.end()) {
            noteNoActorNamed(actorName);
        } else if (!selected) {
            VelOS::noteFailure("not selected");
        }
    });
    return selected;
}

// ---------------------------------------------------------------- actor blocks, shared steps

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

bool Scene::readActor(ActorKind kind, const std::string& name,
                      const std::function<void(const ProjectState::Actor&)>& read) {
    bool found = false;
    readProject([&](const ProjectState& state) {
        if (const ProjectState::Actor* actor = state.findActor(kind, name)) {
            read(*actor);
            found = true;
        } else {
            noteNoActor(kind, name);
        }
    });
    return found;
}

bool Scene::changeActor(ActorKind kind, const std::string& name,
                        const std::function<bool(ActorTransform&, std::string& event)>& change) {
    // A transform is the model's to change: the reply and the event do not wait for the render
    // loop, which gives the actor its new transform at the next frame.
    bool changed = false;
    model_.change([&](ProjectState& state, std::vector<std::string>& events) {
        ProjectState::Actor* actor = state.findActor(kind, name);
        if (actor == nullptr) {
            noteNoActor(kind, name);
            return;
        }
        ActorTransform transform = actor->transform;
        std::string event;
        if (!change(transform, event)) {
            VelOS::noteFailure(
                "a number is not finite or beyond single precision (3.4e38), or the rotation has "
                "no length");
            return;
        }
        actor->transform = transform;
        model_.markMoved(name);
        events.push_back(event);
        changed = true;
    });
    if (changed) {
        requestRedraw();
    }
    return changed;
}

void Scene::noteNoActor(ActorKind kind, const std::string& name) {
    VelOS::noteFailure(std::string("no ") + actorKindWord(kind) + " actor named \"" + name + "\"");
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
    inProject([&] {
        Actor* actor = actors_.find(name);
        if (selectedActor_ != nullptr && actor == selectedActor_) {
            selectedActor_->unselect();
            selectedActor_ = nullptr;
        }
        // Whatever kind holds the name; the actor leaves its tracker before it goes.
        actors_.destroy(name);
        announce(Events::actorDestroyed(actorKindWord(kind), name));
    });
}

void Scene::actorList(ActorKind kind, std::string& list) {
    readProject([&](const ProjectState& state) { list = Events::listText(state.actorNames(kind)); });
}

bool Scene::actorText(ActorKind kind, ActorField field, const std::string& name, std::string& text) {
    return readActor(kind, name, [&](const ProjectState::Actor& actor) {
        switch (field) {
        case ActorField::Tracker:
            text = actor.tracker;
            break;
        case ActorField::Resource:
            text = actor.resource;
            break;
        case ActorField::Source:
            text = actor.source;
            break;
        case ActorField::Type:
            text = actor.type;
            break;
        }
    });
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
        if (connected) {
            announce(Events::actorConnected(actorKindWord(kind), name, trackerName));
        }
    });
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
        if (unconnected) {
            announce(Events::actorUnconnected(actorKindWord(kind), name));
        }
    });
    return unconnected;
}

bool Scene::translateActor(ActorKind kind, const std::string& name, double x, double y, double z) {
    return changeActor(kind, name, [&](ActorTransform& transform, std::string& event) {
        event = Events::actorTranslated(actorKindWord(kind), name, x, y, z);
        return transform.setPosition(x, y, z);
    });
}

bool Scene::actorTranslation(ActorKind kind, const std::string& name, double& x, double& y, double& z) {
    return readActor(kind, name, [&](const ProjectState::Actor& actor) {
        x = actor.transform.position().x;
        y = actor.transform.position().y;
        z = actor.transform.position().z;
    });
}

bool Scene::changeOrientation(ActorKind kind, const std::string& name,
                              const std::function<bool(ActorTransform&)>& turn) {
    return changeActor(kind, name, [&](ActorTransform& transform, std::string& event) {
        if (!turn(transform)) {
            return false;
        }
        event = Events::actorRotated(actorKindWord(kind), name, transform.pitchDegrees(),
                                     transform.yawDegrees(), transform.rollDegrees());
        return true;
    });
}

bool Scene::rotateActor(ActorKind kind, const std::string& name, double w, double x, double y, double z) {
    return changeOrientation(kind, name,
                             [&](ActorTransform& transform) { return transform.setOrientation(w, x, y, z); });
}

bool Scene::turnActor(ActorKind kind, const std::string& name, TurnAxis axis, double degrees) {
    return changeOrientation(kind, name, [&](ActorTransform& transform) {
        switch (axis) {
        case TurnAxis::Pitch:
            return transform.pitch(degrees);
        case TurnAxis::Yaw:
            return transform.yaw(degrees);
        case TurnAxis::Roll:
            break;
        }
        return transform.roll(degrees);
    });
}

bool Scene::actorRotation(ActorKind kind, const std::string& name, double& w, double& x, double& y,
                          double& z) {
    return readActor(kind, name, [&](const ProjectState::Actor& actor) {
        w = actor.transform.orientation().w;
        x = actor.transform.orientation().x;
        y = actor.transform.orientation().y;
        z = actor.transform.orientation().z;
    });
}

bool Scene::actorAngles(ActorKind kind, const std::string& name, double& pitch, double& yaw, double& roll) {
    return readActor(kind, name, [&](const ProjectState::Actor& actor) {
        pitch = actor.transform.pitchDegrees();
        yaw = actor.transform.yawDegrees();
        roll = actor.transform.rollDegrees();
    });
}

bool Scene::scaleActor(ActorKind kind, const std::string& name, double x, double y, double z) {
    return changeActor(kind, name, [&](ActorTransform& transform, std::string& event) {
        event = Events::actorScaled(actorKindWord(kind), name, x, y, z);
        return transform.setScale(x, y, z);
    });
}

bool Scene::actorScale(ActorKind kind, const std::string& name, double& x, double& y, double& z) {
    return readActor(kind, name, [&](const ProjectState::Actor& actor) {
        x = actor.transform.scale().x;
        y = actor.transform.scale().y;
        z = actor.transform.scale().z;
    });
}

// ---------------------------------------------------------------- creating actors of each kind

bool Scene::createActor(const std::string& name, const std::string& resource, const std::string& fileName,
                        const char* extension, const std::function<Actor*()>& make,
                        const std::string& event) {
    bool created = false;
    inProject([&] {
        created = make() != nullptr;
        if (!created) {
            noteCreateFailure(name, resource, fileName, extension);
            return;
        }
        announce(event);
    });
    return created;
}

bool Scene::lightCreate(const std::string& name) {
    return createActor(
        name, std::string(), std::string(), nullptr, [&] { return actors_.createLight(name); },
        Events::lightCreated(name));
}

bool Scene::fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                       const std::string& type) {
    return createActor(
        name, resource, fileName, nullptr, [&] { return actors_.createFile(name, resource, fileName, type); },
        Events::fileCreated(name, resource, fileName, type));
}

bool Scene::meshCreate(const std::string& name, const std::string& resource, const std::string& meshName) {
    return createActor(
        name, resource, meshName, ".mesh", [&] { return actors_.createMesh(name, resource, meshName); },
        Events::meshCreated(name, resource, meshName));
}

bool Scene::sceneCreate(const std::string& name, const std::string& resource, const std::string& sceneName) {
    return createActor(
        name, resource, sceneName, ".osm", [&] { return actors_.createScene(name, resource, sceneName); },
        Events::sceneCreated(name, resource, sceneName));
}
