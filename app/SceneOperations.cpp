// The project operations of the Scene: each takes the project lock, does its work, releases the
// lock and then broadcasts its event. Connection threads, and the main thread for the start-up
// command file and pointer interaction.
//
// The collection of actors is not part of the player yet: until it is, the operations that need
// it report failure, empty lists, or (for destroy, which never fails) only their event.
#include "app/Scene.h"

#include "app/CommandFileChannel.h"
#include "net/ListenerChannel.h"
#include "net/SceneParser.h"
#include "net/SentenceHandler.h"
#include "net/Server.h"
#include "project/Events.h"
#include "video/VideoDevice.h"

#include <OGRE/Overlay/OgreOverlay.h>

namespace {
// The camera calibration, beside the player.
constexpr const char* CameraFile = "camera_para.dat";
} // namespace

bool Scene::inProject(const std::function<void()>& work) {
    return tasks_.run([this, &work] {
        // Frame lock, then scene lock: the work runs between two frames.
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
        trackers_.destroyAll();
        resources_.clear(); // after the actors that show its meshes
        if (fourViews_) {
            toggleLayout();
        }
        cleared = true;
    });
    return cleared;
}

bool Scene::load(const std::string& /*path*/) {
    return false;
}

bool Scene::save(const std::string& /*path*/) {
    return false;
}

bool Scene::netInit(int port) {
    bool started = false;
    inProject([&] {
        stopServer();
        server_ = std::make_unique<VelNet::Server>();
        started = server_->start(port, *handlerFactory_);
    });
    return started;
}

void Scene::netDone() {
    inProject([&] { stopServer(); });
}

bool Scene::setTitle(const std::string& title) {
    if (!inProject([&] { title_ = title; })) {
        return false;
    }
    broadcast(Events::titleChanged(title));
    return true;
}

bool Scene::getTitle(std::string& title) {
    return inProject([&] { title = title_; });
}

bool Scene::mouseAction(const std::string& /*keyword*/) {
    return false;
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
    inProject([&] { visible = debugOverlay_ != nullptr && debugOverlay_->isVisible(); });
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
    inProject([&] { capturing = capture_.isCapturing(); });
    return capturing;
}

bool Scene::getDeviceName(std::string& name) {
    bool capturing = false;
    inProject([&] {
        capturing = capture_.isCapturing();
        if (capturing) {
            name = capture_.deviceName();
        }
    });
    return capturing;
}

bool Scene::getConfiguration(std::string& configuration) {
    bool capturing = false;
    inProject([&] {
        capturing = capture_.isCapturing();
        if (capturing) {
            configuration = capture_.configuration();
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
    inProject([&] { value = flipX_; });
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
    inProject([&] { value = flipY_; });
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
    inProject([&] { automatic = tracking_.automatic; });
    return automatic;
}

bool Scene::thresholdGetValue(int& value) {
    return inProject([&] { value = tracking_.threshold; });
}

// ---------------------------------------------------------------- resources

bool Scene::resourceCreate(const std::string& name, const std::string& packagePath) {
    bool created = false;
    inProject([&] { created = resources_.create(name, packagePath); });
    if (created) {
        broadcast(Events::resourceCreated(name, packagePath));
    }
    return created;
}

void Scene::resourceDestroy(const std::string& name) {
    if (inProject([&] { resources_.destroy(name); })) {
        broadcast(Events::resourceDestroyed(name));
    }
}

void Scene::resourceGetList(std::string& list) {
    inProject([&] { list = Events::listText(resources_.getList()); });
}

void Scene::resourceGetFilesInside(const std::string& name, std::string& list) {
    std::set<std::string> files;
    inProject([&] { files = resources_.getFilesInside(name); });
    // Each file under its name inside the package: without the resource name and "_".
    std::set<std::string> inside;
    for (const std::string& file : files) {
        inside.insert(file.size() > name.size() ? file.substr(name.size() + 1) : std::string());
    }
    list = Events::listText(inside);
}

bool Scene::resourceGetFilename(const std::string& name, std::string& fileName) {
    bool found = false;
    inProject([&] { found = resources_.getFilename(name, fileName); });
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
    inProject([&] { list = Events::listText(trackers_.getTrackerNames()); });
}

bool Scene::trackerGetPatternFilename(const std::string& name, std::string& patternFile) {
    bool found = false;
    inProject([&] {
        if (ARTracker* tracker = trackers_.findAR(name)) {
            patternFile = tracker->patternFilename();
            found = true;
        }
    });
    return found;
}

bool Scene::trackerGetWidth(const std::string& name, int& width) {
    bool found = false;
    inProject([&] {
        if (ARTracker* tracker = trackers_.findAR(name)) {
            width = tracker->width();
            found = true;
        }
    });
    return found;
}

// ---------------------------------------------------------------- inventory

void Scene::destroyAllResources() {
    if (inProject([&] { resources_.clear(); })) {
        broadcast(Events::resourcesAllDestroyed());
    }
}

void Scene::destroyAllTrackers() {
    if (inProject([&] { trackers_.destroyAll(); })) {
        broadcast(Events::trackersAllDestroyed());
    }
}

void Scene::destroyAllActors() { broadcast(Events::actorsAllDestroyed()); }

void Scene::getResourceNames(std::set<std::string>& names) {
    inProject([&] { names = resources_.getList(); });
}

void Scene::getTrackerNames(std::set<std::string>& names) {
    inProject([&] { names = trackers_.getTrackerNames(); });
}

void Scene::getLightNames(std::set<std::string>& names) { names.clear(); }

void Scene::getFileNames(std::set<std::string>& names) { names.clear(); }

void Scene::getMeshNames(std::set<std::string>& names) { names.clear(); }

void Scene::getSceneNames(std::set<std::string>& names) { names.clear(); }

// ---------------------------------------------------------------- actors in general

bool Scene::actorsViewports(const std::string& actorName) {
    if (inProject([&] { toggleLayout(); })) {
        broadcast(Events::actorsViewports(actorName));
    }
    return true;
}

void Scene::actorGetAnimationsList(const std::string& /*actorName*/, std::string& list) {
    list.clear();
}

bool Scene::actorAction(const std::string& /*actorName*/, const std::string& /*keyword*/,
                        const std::string& /*argument*/) {
    return false;
}

bool Scene::actorsSelectAll() {
    broadcast(Events::actorsAllSelected());
    return true;
}

bool Scene::actorsUnselectAll() {
    broadcast(Events::actorsAllUnselected());
    return true;
}

bool Scene::actorSelect(const std::string& /*actorName*/) {
    return false;
}

bool Scene::actorUnselect(const std::string& /*actorName*/) {
    return false;
}

bool Scene::actorIsSelected(const std::string& /*actorName*/) {
    return false;
}

// ---------------------------------------------------------------- actor blocks

namespace {
bool noActor() {
    return false;
}
} // namespace

bool Scene::lightCreate(const std::string&) {
    return noActor();
}
void Scene::lightDestroy(const std::string& name) {
    broadcast(Events::actorDestroyed("light", name));
}
void Scene::lightGetList(std::string& list) {
    list.clear();
}
bool Scene::lightGetLightName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::lightGetTrackerName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::lightConnect(const std::string&, const std::string&) {
    return noActor();
}
bool Scene::lightUnconnect(const std::string&) {
    return noActor();
}
bool Scene::lightTranslate(const std::string&, double, double, double) {
    return noActor();
}
bool Scene::lightGetTranslation(const std::string&, double&, double&, double&) {
    return noActor();
}

bool Scene::fileCreate(const std::string&, const std::string&, const std::string&, const std::string&) {
    return noActor();
}
void Scene::fileDestroy(const std::string& name) {
    broadcast(Events::actorDestroyed("file", name));
}
void Scene::fileGetList(std::string& list) {
    list.clear();
}
bool Scene::fileGetType(const std::string&, std::string&) {
    return noActor();
}
bool Scene::fileGetResourceName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::fileGetFileName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::fileGetTrackerName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::fileConnect(const std::string&, const std::string&) {
    return noActor();
}
bool Scene::fileUnconnect(const std::string&) {
    return noActor();
}
bool Scene::fileTranslate(const std::string&, double, double, double) {
    return noActor();
}
bool Scene::fileGetTranslation(const std::string&, double&, double&, double&) {
    return noActor();
}

bool Scene::meshCreate(const std::string&, const std::string&, const std::string&) {
    return noActor();
}
void Scene::meshDestroy(const std::string& name) {
    broadcast(Events::actorDestroyed("mesh", name));
}
void Scene::meshGetList(std::string& list) {
    list.clear();
}
bool Scene::meshGetResourceName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::meshGetMeshName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::meshGetTrackerName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::meshConnect(const std::string&, const std::string&) {
    return noActor();
}
bool Scene::meshUnconnect(const std::string&) {
    return noActor();
}
bool Scene::meshTranslate(const std::string&, double, double, double) {
    return noActor();
}
bool Scene::meshGetTranslation(const std::string&, double&, double&, double&) {
    return noActor();
}
bool Scene::meshRotate(const std::string&, double, double, double, double) {
    return noActor();
}
bool Scene::meshPitch(const std::string&, double) {
    return noActor();
}
bool Scene::meshYaw(const std::string&, double) {
    return noActor();
}
bool Scene::meshRoll(const std::string&, double) {
    return noActor();
}
bool Scene::meshGetRotation(const std::string&, double&, double&, double&, double&) {
    return noActor();
}
bool Scene::meshGetAngles(const std::string&, double&, double&, double&) {
    return noActor();
}
bool Scene::meshScale(const std::string&, double, double, double) {
    return noActor();
}
bool Scene::meshGetScale(const std::string&, double&, double&, double&) {
    return noActor();
}

bool Scene::sceneCreate(const std::string&, const std::string&, const std::string&) {
    return noActor();
}
void Scene::sceneDestroy(const std::string& name) {
    broadcast(Events::actorDestroyed("scene", name));
}
void Scene::sceneGetList(std::string& list) {
    list.clear();
}
bool Scene::sceneGetResourceName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::sceneGetSceneName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::sceneGetTrackerName(const std::string&, std::string&) {
    return noActor();
}
bool Scene::sceneConnect(const std::string&, const std::string&) {
    return noActor();
}
bool Scene::sceneUnconnect(const std::string&) {
    return noActor();
}
bool Scene::sceneTranslate(const std::string&, double, double, double) {
    return noActor();
}
bool Scene::sceneGetTranslation(const std::string&, double&, double&, double&) {
    return noActor();
}
bool Scene::sceneRotate(const std::string&, double, double, double, double) {
    return noActor();
}
bool Scene::scenePitch(const std::string&, double) {
    return noActor();
}
bool Scene::sceneYaw(const std::string&, double) {
    return noActor();
}
bool Scene::sceneRoll(const std::string&, double) {
    return noActor();
}
bool Scene::sceneGetRotation(const std::string&, double&, double&, double&, double&) {
    return noActor();
}
bool Scene::sceneGetAngles(const std::string&, double&, double&, double&) {
    return noActor();
}
bool Scene::sceneScale(const std::string&, double, double, double) {
    return noActor();
}
bool Scene::sceneGetScale(const std::string&, double&, double&, double&) {
    return noActor();
}
