#include "app/EngineProject.h"

#include "app/CameraBackground.h"
#include "app/FramePacing.h"
#include "app/ProjectArchive.h"
#include "app/ShellTexts.h"
#include "app/ViewLayout.h"
#include "net/Server.h"
#include "platform/fileutil.h"
#include "platform/pathguard.h"
#include "project/Events.h"
#include "project/SceneSerializer.h"
#include "resources/PackageUnpacker.h"
#include "resources/Resource.h"

#include <OGRE/OgreLogManager.h>

EngineProject::EngineProject(MainThreadQueue& tasks, ProjectModel& model, FramePacing& pacing,
                             CameraBackground& camera, ViewLayout& views)
    : tasks_(tasks), model_(model), pacing_(pacing), camera_(camera), views_(views),
      trackers_(&camera.tracking(), std::string()), actors_(*this) {}

EngineProject::~EngineProject() = default;

void EngineProject::setup(const std::string& workDirectory, Ogre::SceneManager* viewsScene,
                          Ogre::SceneNode* mainNode) {
    workDirectory_ = workDirectory;
    trackers_.setWorkDirectory(workDirectory);
    actors_.bind(viewsScene, mainNode, workDirectory, &trackers_);
    // The packages load into the views scene too.
    resources_.bind(viewsScene, this);
    // The built-in resource "Nothing" from the empty package. Packages are only ever read from
    // the work directory, so the copy beside the received ones comes first.
    VelOS::copyFile(ShellTexts::VoidArchive, workDirectory_ + ShellTexts::VoidArchive);
    resources_.create(ShellTexts::NothingResource, workDirectory_ + ShellTexts::VoidArchive);
    // The model starts as the engine side is now: clients read it from the first connection on.
    publish(nullptr);
}

void EngineProject::setServer(VelNet::ServerPolicy policy, ConnectionHandlerFactory& handlers) {
    serverPolicy_ = std::move(policy);
    handlers_ = &handlers;
}

void EngineProject::setInteraction(std::function<void(const std::string&)> mouseAction,
                                   std::function<bool()> handMode) {
    mouseAction_ = std::move(mouseAction);
    actors_.setHandMode(std::move(handMode));
}

void EngineProject::stopServer() {
    if (server_) {
        server_->stop();
        server_.reset();
    }
}

void EngineProject::teardown() {
    trackers_.destroyAll();
    // The actors go while the engine is still there, and before the meshes they show.
    actors_.destroyAll();
    // The packages after the actors that show their meshes.
    resources_.clear();
}

bool EngineProject::updateFrame(float frameTime) {
    applyClientChanges();
    actors_.manager().update(frameTime);
    trackers_.update();
    return actors_.manager().isAnimating();
}

void EngineProject::statusFacts(StatusFacts& facts) {
    facts.markersFound = trackers_.countFound();
    facts.trackers = trackers_.count();
    facts.port = server_ ? server_->port() : 0;
    facts.clients = server_ ? server_->connectionCount() : 0;
    facts.netFailure = netFailure_;
}

// ---------------------------------------------------------------- project work

bool EngineProject::inProject(VelOS::CommandContext* context, const std::function<void()>& work) {
    if (tasks_.onMainThread() && depth_ > 0) { // depth_ is the main thread's: others must not read it
        // Part of a larger operation already running between two frames: the same task. What it
        // made is published at once, as the next step reads the model (a load translates the
        // actor it just made).
        work();
        publish(context);
        return true;
    }
    return tasks_.run([&] {
        ++depth_;
        applyClientChanges();
        work();
        publish(context);
        --depth_;
        pacing_.requestRedraw(context);
    });
}

void EngineProject::requestRedraw(VelOS::CommandContext* context) {
    pacing_.requestRedraw(context);
}

void EngineProject::applyClientChanges() {
    bool titleChanged = false;
    std::string title;
    actors_.applyTransforms(model_.takeMoved(&titleChanged, &title));
    if (titleChanged) {
        title_ = title;
    }
}

void EngineProject::publish(VelOS::CommandContext* context) {
    ProjectState state;
    state.title = title_;
    actors_.publishInto(state);
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
    state.debugVisible = views_.debugVisible();
    state.flipX = camera_.flipX();
    state.flipY = camera_.flipY();
    state.thresholdAutomatic = camera_.thresholdAutomatic();
    model_.synchronise(std::move(state), outbox_, context);
    outbox_.clear();
}

// ---------------------------------------------------------------- project and server

bool EngineProject::newProject(VelOS::CommandContext& context) {
    bool cleared = false;
    inProject(&context, [&] {
        ++generation_; // a package being unpacked now belongs to the old project
        actors_.destroyAll();
        trackers_.destroyAll();
        resources_.clear(); // after the actors that show its meshes
        if (views_.fourViews()) {
            views_.toggleLayout();
        }
        cleared = true;
    });
    return cleared;
}

bool EngineProject::load(VelOS::CommandContext& context, const std::string& path) {
    Ogre::LogManager::getSingleton().logMessage("Open scene file :" + path);
    // A package another client is unpacking now belongs to the project being replaced.
    ++generation_;
    // The slow part on the caller's thread, while other clients are served: the archive and the
    // packages its document names are unpacked first.
    std::string text;
    if (!SceneSerializer::readArchive(context, path, workDirectory_, extractProjectArchive, text)) {
        return false;
    }
    std::map<std::string, std::unique_ptr<PackageUnpacker>> prepared;
    for (const std::string& fileName : SceneSerializer::packagesOf(text)) {
        std::string package;
        if (prepared.count(workDirectory_ + fileName) != 0 ||
            !VelOS::resolveInside(workDirectory_, fileName, package)) {
            continue; // the build refuses it with the reason
        }
        auto unpacked = std::make_unique<PackageUnpacker>();
        if (!unpacked->unpack(package, workDirectory_)) {
            context.fail(unpacked->failure());
            return false;
        }
        prepared.emplace(workDirectory_ + fileName, std::move(unpacked));
    }
    // Then the whole project in one task: no other client's command lands in the middle.
    bool built = false;
    inProject(&context, [&] {
        prepared_ = &prepared;
        built = SceneSerializer::buildFromText(context, text, *this, *this, workDirectory_);
        prepared_ = nullptr;
    });
    return built;
}

bool EngineProject::save(VelOS::CommandContext& context, const std::string& path) {
    Ogre::LogManager::getSingleton().logMessage("Save scene in :" + path);
    return SceneSerializer::save(context, path, *this, *this, workDirectory_);
}

bool EngineProject::netInit(VelOS::CommandContext& context, int port) {
    bool started = false;
    inProject(&context, [&] {
        stopServer();
        server_ = std::make_unique<VelNet::Server>(serverPolicy_);
        started = handlers_ != nullptr && server_->start(port, *handlers_);
        netFailure_.clear();
        if (!started) {
            netFailure_ = "cannot listen on port " + std::to_string(port) +
                          " (taken by another program, or not a port)";
            context.fail(netFailure_);
        }
    });
    return started;
}

void EngineProject::netDone(VelOS::CommandContext& context) {
    inProject(&context, [&] {
        stopServer();
        netFailure_.clear();
    });
}

bool EngineProject::setTitle(VelOS::CommandContext& context, const std::string& title) {
    // The model's change alone. The title shows only in the debug overlay, which is redrawn
    // every turn while it shows: no drawing is asked for.
    model_.change(&context, [&](ProjectState& state, std::vector<std::string>& events) {
        state.title = title;
        model_.markTitle();
        events.push_back(Events::titleChanged(title));
    });
    return true;
}

bool EngineProject::getTitle(VelOS::CommandContext&, std::string& title) {
    readProject([&](const ProjectState& state) { title = state.title; });
    return true;
}

bool EngineProject::mouseAction(VelOS::CommandContext&, const std::string& keyword) {
    // The modes are the main thread's: the command hands its change over like any project work.
    tasks_.run([&] {
        if (mouseAction_) {
            mouseAction_(keyword);
        }
    });
    return true;
}

// ---------------------------------------------------------------- debug overlay

void EngineProject::debugShow(VelOS::CommandContext& context) {
    inProject(&context, [&] {
        if (!views_.debugVisible()) {
            views_.setDebugVisible(true);
            announce(Events::debugShowed());
        }
    });
}

void EngineProject::debugHide(VelOS::CommandContext& context) {
    inProject(&context, [&] {
        if (views_.debugVisible()) {
            views_.setDebugVisible(false);
            announce(Events::debugHided());
        }
    });
}

bool EngineProject::debugIsVisible(VelOS::CommandContext&) {
    bool visible = false;
    readProject([&](const ProjectState& state) { visible = state.debugVisible; });
    return visible;
}

// ---------------------------------------------------------------- video capture

bool EngineProject::videoCaptureInit(VelOS::CommandContext& context, const std::string& device,
                                     const std::string& configuration) {
    bool initialised = false;
    inProject(&context, [&] {
        std::string why;
        initialised = camera_.start(device, configuration, why);
        if (!initialised) {
            context.fail(why);
            return;
        }
        announce(Events::videoCaptureInitialised(device, configuration));
    });
    return initialised;
}

void EngineProject::videoCaptureDone(VelOS::CommandContext& context) {
    inProject(&context, [&] {
        camera_.stop();
        announce(Events::videoCaptureFinalised());
    });
}

bool EngineProject::isCapturing(VelOS::CommandContext&) {
    return camera_.isCapturing();
}

bool EngineProject::getDeviceName(VelOS::CommandContext& context, std::string& name) {
    // The capture answers for itself without waiting for a frame.
    if (!camera_.isCapturing()) {
        context.fail("no camera is running");
        return false;
    }
    name = camera_.deviceName();
    return true;
}

bool EngineProject::getConfiguration(VelOS::CommandContext& context, std::string& configuration) {
    if (!camera_.isCapturing()) {
        context.fail("no camera is running");
        return false;
    }
    configuration = camera_.configuration();
    return true;
}

void EngineProject::changeCamera(VelOS::CommandContext& context, const std::function<void()>& change,
                                 std::initializer_list<std::string> events) {
    inProject(&context, [&] {
        change();
        for (const std::string& event : events) {
            announce(event);
        }
    });
}

void EngineProject::flipXSet(VelOS::CommandContext& context) {
    changeCamera(context, [&] { camera_.setFlipX(true); }, {Events::flipXChanged(true)});
}

void EngineProject::flipXUnset(VelOS::CommandContext& context) {
    changeCamera(context, [&] { camera_.setFlipX(false); }, {Events::flipXChanged(false)});
}

bool EngineProject::flipXGet(VelOS::CommandContext&) {
    bool value = false;
    readProject([&](const ProjectState& state) { value = state.flipX; });
    return value;
}

void EngineProject::flipYSet(VelOS::CommandContext& context) {
    changeCamera(context, [&] { camera_.setFlipY(true); }, {Events::flipYChanged(true)});
}

void EngineProject::flipYUnset(VelOS::CommandContext& context) {
    changeCamera(context, [&] { camera_.setFlipY(false); }, {Events::flipYChanged(false)});
}

bool EngineProject::flipYGet(VelOS::CommandContext&) {
    bool value = false;
    readProject([&](const ProjectState& state) { value = state.flipY; });
    return value;
}

void EngineProject::thresholdAuto(VelOS::CommandContext& context) {
    changeCamera(context, [&] { camera_.setThresholdAutomatic(); }, {Events::thresholdAutoChanged(true)});
}

void EngineProject::thresholdManual(VelOS::CommandContext& context, int value) {
    changeCamera(context, [&] { camera_.setThresholdManual(value); },
                 {Events::thresholdAutoChanged(false), Events::thresholdValueChanged(value)});
}

void EngineProject::thresholdManual(VelOS::CommandContext& context) {
    changeCamera(context, [&] { camera_.setThresholdManual(); }, {Events::thresholdAutoHanged(false)});
}

bool EngineProject::thresholdIsAuto(VelOS::CommandContext&) {
    bool automatic = false;
    readProject([&](const ProjectState& state) { automatic = state.thresholdAutomatic; });
    return automatic;
}

bool EngineProject::thresholdGetValue(VelOS::CommandContext&, int& value) {
    // The level in use: set by hand, or found in the last frame in automatic mode.
    value = camera_.thresholdValue();
    return true;
}

// ---------------------------------------------------------------- resources

bool EngineProject::resourceCreate(VelOS::CommandContext& context, const std::string& name,
                                   const std::string& packagePath) {
    if (!Resource::isInsideWorkDirectory(workDirectory_, packagePath)) {
        context.fail("the package is not a file of the work directory");
        return false;
    }
    if (prepared_ != nullptr && tasks_.onMainThread()) {
        // A load's own package, unpacked before its task began.
        const auto found = prepared_->find(packagePath);
        if (found != prepared_->end()) {
            return createResource(context, name, packagePath, *found->second);
        }
    }
    // Unpacking, the slow part, happens here on the caller's thread, with no lock held: other
    // clients are served and frames drawn meanwhile. Only the engine's part runs between frames.
    const std::uint64_t generation = generation_;
    PackageUnpacker unpacked;
    if (!unpacked.unpack(packagePath, workDirectory_)) {
        context.fail(unpacked.failure());
        return false;
    }
    bool created = false;
    inProject(&context, [&] {
        if (generation != generation_) {
            context.fail("the project was replaced (project.new or project.load) while the package unpacked");
            return;
        }
        created = createResource(context, name, packagePath, unpacked);
    });
    return created;
}

bool EngineProject::createResource(VelOS::CommandContext& context, const std::string& name,
                                   const std::string& packagePath, const PackageUnpacker& unpacked) {
    std::string why;
    const bool created = resources_.create(name, packagePath, &unpacked, &why);
    if (!why.empty()) {
        context.fail(why);
    }
    if (created) {
        announce(Events::resourceCreated(name, packagePath));
    }
    return created;
}

void EngineProject::resourceDestroy(VelOS::CommandContext& context, const std::string& name) {
    // One task: the mesh and scene actors that draw the package's engine content go first (each
    // with its event), or the next frame would draw freed meshes; no client makes a new one from
    // the package in between.
    inProject(&context, [&] {
        actors_.destroyDrawnFrom(context, name);
        resources_.destroy(name);
        announce(Events::resourceDestroyed(name));
    });
}

void EngineProject::resourceGetList(VelOS::CommandContext&, std::string& list) {
    std::set<std::string> names;
    getResourceNames(names);
    list = Events::listText(names);
}

void EngineProject::resourceGetFilesInside(VelOS::CommandContext&, const std::string& name,
                                           std::string& list) {
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

bool EngineProject::resourceGetFilename(VelOS::CommandContext& context, const std::string& name,
                                        std::string& fileName) {
    bool found = false;
    readProject([&](const ProjectState& state) {
        const auto resource = state.resources.find(name);
        found = resource != state.resources.end();
        if (found) {
            fileName = resource->second.packageFileName;
        } else {
            context.fail("no resource named \"" + name + "\"");
        }
    });
    return found;
}

// ---------------------------------------------------------------- trackers

bool EngineProject::trackerCreate(VelOS::CommandContext& context, const std::string& name,
                                  const std::string& patternFile, int width) {
    bool created = false;
    inProject(&context, [&] {
        std::string why;
        created = trackers_.createAR(name, patternFile, width, &why) != nullptr;
        if (!why.empty()) {
            context.fail(why);
        }
        if (created) {
            announce(Events::trackerCreated(name, patternFile, width));
        }
    });
    return created;
}

void EngineProject::trackerDestroy(VelOS::CommandContext& context, const std::string& name) {
    inProject(&context, [&] {
        trackers_.destroy(name);
        announce(Events::trackerDestroyed(name));
    });
}

void EngineProject::trackerGetList(VelOS::CommandContext&, std::string& list) {
    std::set<std::string> names;
    getTrackerNames(names);
    list = Events::listText(names);
}

bool EngineProject::readTracker(VelOS::CommandContext& context, const std::string& name,
                                const std::function<void(const ProjectState::Tracker&)>& read) {
    bool found = false;
    readProject([&](const ProjectState& state) {
        const auto tracker = state.trackers.find(name);
        found = tracker != state.trackers.end();
        if (found) {
            read(tracker->second);
        } else {
            context.fail("no tracker named \"" + name + "\"");
        }
    });
    return found;
}

bool EngineProject::trackerGetPatternFilename(VelOS::CommandContext& context, const std::string& name,
                                              std::string& patternFile) {
    return readTracker(context, name,
                       [&](const ProjectState::Tracker& tracker) { patternFile = tracker.patternFile; });
}

bool EngineProject::trackerGetWidth(VelOS::CommandContext& context, const std::string& name, int& width) {
    return readTracker(context, name, [&](const ProjectState::Tracker& tracker) { width = tracker.width; });
}

// ---------------------------------------------------------------- inventory

void EngineProject::destroyAllResources(VelOS::CommandContext& context) {
    // As for one resource, in one task: the mesh and scene actors go first, with their events.
    inProject(&context, [&] {
        for (const std::string& mesh : actors_.manager().getMeshNames()) {
            actors_.destroy(context, ActorKind::Mesh, mesh);
        }
        for (const std::string& scene : actors_.manager().getSceneNames()) {
            actors_.destroy(context, ActorKind::Scene, scene);
        }
        resources_.clear();
        announce(Events::resourcesAllDestroyed());
    });
}

void EngineProject::destroyAllTrackers(VelOS::CommandContext& context) {
    inProject(&context, [&] {
        trackers_.destroyAll();
        announce(Events::trackersAllDestroyed());
    });
}

void EngineProject::destroyAllActors(VelOS::CommandContext& context) {
    inProject(&context, [&] {
        actors_.destroyAll();
        announce(Events::actorsAllDestroyed());
    });
}

void EngineProject::getResourceNames(std::set<std::string>& names) {
    names.clear();
    readProject([&](const ProjectState& state) {
        for (const auto& entry : state.resources) {
            names.insert(entry.first);
        }
    });
}

void EngineProject::getTrackerNames(std::set<std::string>& names) {
    names.clear();
    readProject([&](const ProjectState& state) {
        for (const auto& entry : state.trackers) {
            names.insert(entry.first);
        }
    });
}

void EngineProject::getLightNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::Light); });
}

void EngineProject::getFileNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::File); });
}

void EngineProject::getMeshNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::Mesh); });
}

void EngineProject::getSceneNames(std::set<std::string>& names) {
    readProject([&](const ProjectState& state) { names = state.actorNames(ProjectState::Kind::Scene); });
}

bool EngineProject::actorsViewports(VelOS::CommandContext& context, const std::string& actorName) {
    return actors_.viewports(context, actorName, views_.topCamera(), views_.frontCamera(),
                             views_.leftCamera(), [this] {
                                 views_.toggleLayout();
                                 return views_.fourViews();
                             });
}
