// The application object: set-up, the main loop and the frame, teardown.
#include "app/Scene.h"

#include "app/CommandFileChannel.h"
#include "app/InputDispatcher.h"
#include "app/LogFileListener.h"
#include "app/ShellTexts.h"
#include "app/ViewsSceneManager.h"
#include "app/X11Desktop.h"
#include "net/SceneParser.h"
#include "net/SentenceHandler.h"
#include "platform/DiskBudget.h"
#include "platform/enginelog.h"
#include "platform/fileutil.h"
#include "platform/keepmapped.h"
#include "platform/threadpriority.h"
#include "platform/workdir.h"

#include <OGRE/Bites/OgreBitesConfigDialog.h>
#include <OGRE/Bites/OgreWindowEventUtilities.h>
#include <OGRE/Overlay/OgreOverlaySystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

volatile std::sig_atomic_t Scene::terminationRequested_ = 0;

namespace {

// How much lower than the rest of the player a CPU rasteriser's threads run (nice value).
constexpr int RasteriserNiceness = 5;

constexpr Ogre::Real AmbientLevel = 0.35f;

} // namespace

Scene::Scene() {
    views_ = std::make_unique<ViewLayout>();
    project_ = std::make_unique<EngineProject>(tasks_, model_, pacing_, camera_, *views_);
    input_ = std::make_unique<PointerInput>(*project_, *views_, pacing_);
    handlerFactory_ = std::make_unique<SentenceHandlerFactory>(*this, *project_);
    project_->setInteraction([this](const std::string& keyword) { input_->setInteractionMode(keyword); },
                             [this] { return input_->handMode(); });
}

Scene::~Scene() {
    // Nothing hands frames on any more from here on: the capture stops first.
    camera_.stopAndWait();
    // The viewers file actors opened end with the player: they show files of the work directory.
    VelOS::endOpenedViewers();
    if (!workDirectory_.empty() && !VelOS::removeDirectoryTree(workDirectory_)) {
        std::cout << ShellTexts::CannotDelete << workDirectory_ << ShellTexts::DirectorySuffix << std::endl;
    }

    // Connection threads use the project through their handlers: refuse further project work,
    // close every connection, then wait (a bounded time) until each thread has let go before
    // anything they use goes away.
    tasks_.close();
    project_->stopServer();
    if (!handlerFactory_->waitForHandlers(10000)) {
        std::cerr << "Scene: connections still running at exit" << std::endl;
    }
    handlerFactory_.reset();
    // The actors, trackers and packages go while the engine is still there.
    project_->teardown();
    VelOS::setEngineLogSink(nullptr);

    input_->release();
    InputDispatcher::instance().shutdown(); // before the window goes
    if (root_) {
        root_->removeFrameListener(this);
        if (window_ != nullptr) {
            OgreBites::WindowEventUtilities::_removeRenderWindow(window_);
        }
        views_->release();
        camera_.release();
        // The VIEWPORTS root hangs under MAIN's root; unhook it before either manager goes.
        if (mainScene_ != nullptr && viewsScene_ != nullptr) {
            Ogre::SceneNode* viewsRoot = viewsScene_->getRootSceneNode();
            if (viewsRoot->getParent() != nullptr) {
                viewsRoot->getParent()->removeChild(viewsRoot);
            }
        }
        if (mainScene_ != nullptr && overlaySystem_) {
            mainScene_->removeRenderQueueListener(overlaySystem_.get());
        }
        // The overlay system unregisters itself from the root's managers.
        overlaySystem_.reset();
        root_.reset();
        viewsFactory_.reset();
    }
    logManager_.reset();
    logFile_.reset();
}

bool Scene::failSetup(const std::string& cause) {
    setupFailure_ = cause;
    return false;
}

bool Scene::setup() {
    // 1. The work directory.
    workDirectory_ = VelOS::getWorkDirectory(true);
    if (workDirectory_.empty()) {
        return failSetup("cannot create a private work directory at " + VelOS::getWorkDirectory(false));
    }
    std::cout << ShellTexts::WorkingAt << workDirectory_ << ShellTexts::DirectorySuffix << std::endl;
    VelOS::DiskBudget::instance().setUp(workDirectory_);
    camera_.setWorkDirectory(workDirectory_);

    // 2. The render root. The log goes to log.txt only, not to the terminal. The GL render
    // system looks up the close protocol atom when its plug-in loads, so the atom must exist
    // before the root is made.
    // The files the player reads from its folder, and the display, are checked first, so that
    // a start from the wrong folder or without a display says so in one line.
    for (const char* file : {ShellTexts::PluginsFile, ShellTexts::CoreArchive}) {
        if (!VelOS::isFile(file)) {
            return failSetup(std::string(file) +
                             " is missing from the current folder: start the player from its own folder");
        }
    }
    desktop_ = std::make_unique<X11Desktop>();
    if (!desktop_->hasDisplay()) {
        const char* display = std::getenv("DISPLAY");
        return failSetup(std::string("cannot open the X display ") +
                         (display != nullptr && *display != '\0' ? display : "(DISPLAY is not set)"));
    }
    desktop_->prepareCloseProtocol();
    logManager_ = std::make_unique<Ogre::LogManager>();
    // The engine's log writes no file of its own: log.txt is the listener's, which bounds it.
    logFile_ = std::make_unique<LogFileListener>(ShellTexts::LogFile);
    logManager_->createLog(ShellTexts::LogFile, true, false, true)->addListener(logFile_.get());
    // The parts without engine headers (remote control, camera, trackers) write here too.
    VelOS::setEngineLogSink([](const std::string& line) {
        if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr()) {
            logs->logMessage(line);
        }
    });
    VelOS::keepEngineLibrariesMapped(ShellTexts::PluginsFile);
    root_ =
        std::make_unique<Ogre::Root>(ShellTexts::PluginsFile, ShellTexts::DisplayFile, ShellTexts::LogFile);
    overlaySystem_ = std::make_unique<Ogre::OverlaySystem>();

    // 3. The configuration dialog only when asked for (--settings), and never in an unattended
    // start; otherwise the settings last chosen (display.cfg), or a window of 800 x 600.
    const char* skip = std::getenv(ShellTexts::NoConfigDialogVariable);
    const bool unattended = skip != nullptr && std::string(skip) == "1";
    if (options_.settings && !unattended) {
        if (!root_->showConfigDialog(OgreBites::getNativeConfigDialog())) {
            return failSetup("the settings dialog was cancelled");
        }
    } else {
        bool restored = false;
        try {
            restored = root_->restoreConfig();
        } catch (const Ogre::Exception&) {
            // An unreadable display.cfg must not stop a start: use the defaults.
        }
        if (!restored) {
            Ogre::RenderSystem* gl = root_->getRenderSystemByName(ShellTexts::GlRenderSystem);
            if (gl == nullptr) {
                return failSetup(std::string("no ") + ShellTexts::GlRenderSystem + " in " +
                                 ShellTexts::PluginsFile);
            }
            gl->setConfigOption("Full Screen", "No");
            gl->setConfigOption("Video Mode", "800 x 600");
            root_->setRenderSystem(gl);
        }
    }

    // 4. The window, on the monitor asked for and full screen if asked for.
    window_ = createWindow();
    // A picture drawn by the CPU must leave room for the remote control (see threadpriority.h).
    VelOS::lowerThreadsPriority(ShellTexts::SoftwareRasteriserThreads, RasteriserNiceness);
    if (window_ == nullptr) {
        return failSetup("the render system made no window");
    }
    window_->setActive(true);
    window_->setAutoUpdated(true);
    OgreBites::WindowEventUtilities::_addRenderWindow(window_);

    // 5. The player's own overlays, materials and meshes.
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    groups.addResourceLocation(ShellTexts::CoreArchive, "Zip", ShellTexts::BootstrapGroup, false);
    groups.initialiseAllResourceGroups();

    // 6. and 7. The two scene managers; everything under VIEWPORTS is drawn by MAIN too.
    viewsFactory_ = std::make_unique<ViewsSceneManagerFactory>();
    root_->addSceneManagerFactory(viewsFactory_.get());
    mainScene_ = root_->createSceneManager(Ogre::DefaultSceneManagerFactory::FACTORY_TYPE_NAME,
                                           ShellTexts::MainSceneManager);
    viewsScene_ = root_->createSceneManager(ViewsSceneManager::TypeName, ShellTexts::ViewsSceneManager);
    if (mainScene_ == nullptr || viewsScene_ == nullptr) {
        return failSetup("cannot create the scene managers");
    }
    // A little light everywhere, so that content no lamp reaches is still seen in shape.
    mainScene_->setAmbientLight(Ogre::ColourValue(AmbientLevel, AmbientLevel, AmbientLevel));
    viewsScene_->setAmbientLight(Ogre::ColourValue(AmbientLevel, AmbientLevel, AmbientLevel));
    mainScene_->addRenderQueueListener(overlaySystem_.get());
    mainNode_ = viewsScene_->getRootSceneNode()->createChildSceneNode(
        ShellTexts::MainNode, Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY);
    mainScene_->getRootSceneNode()->addChild(viewsScene_->getRootSceneNode());

    // 8. to 13. Cameras, viewports, the auxiliary views' light and grid, the overlays.
    std::string failure;
    if (!views_->setup(window_, mainScene_, viewsScene_, *desktop_, options_, failure)) {
        return failSetup(failure);
    }
    // 14. The project: actors and packages in VIEWPORTS under MainNode, the built-in resource.
    project_->setup(workDirectory_, viewsScene_, mainNode_);
    project_->setServer(serverPolicy_, *handlerFactory_);

    // 15. and 16. Keyboard and mouse, picking.
    input_->setup(window_, viewsScene_, *desktop_);

    // 17. and 18. The camera picture behind the main view, fitted to it whenever it changes shape.
    camera_.setup(mainScene_, views_->mainCamera(), views_->mainViewport());
    views_->onMainViewChanged([this] { camera_.fitMainView(); });

    // 19. to 21.
    root_->addFrameListener(this);
    unsigned long xWindow = 0;
    window_->getCustomAttribute("WINDOW", &xWindow);
    desktop_->setArrowCursor(xWindow);
    return true;
}

Ogre::RenderWindow* Scene::createWindow() {
    Ogre::RenderSystem* system = root_->getRenderSystem();
    if (system == nullptr) {
        return nullptr;
    }
    int left = 0, top = 0, width = desktop_->displayWidth(), height = desktop_->displayHeight();
    const bool onMonitor =
        options_.screen >= 0 && desktop_->monitor(options_.screen, left, top, width, height);
    if (options_.screen >= 0 && !onMonitor) {
        std::cerr << "velquin: no monitor " << options_.screen << "; opening on the first" << std::endl;
    }
    if (options_.fullScreen && width > 0 && height > 0) {
        try {
            system->setConfigOption("Full Screen", "Yes");
            system->setConfigOption("Video Mode", std::to_string(width) + " x " + std::to_string(height));
        } catch (const Ogre::Exception&) {
            // A render system without these options opens as configured.
        }
    }
    if (!onMonitor) {
        return root_->initialise(true, ShellTexts::WindowTitle);
    }
    // On another monitor the window is placed by hand, with the size and full-screen choice of
    // the configuration.
    root_->initialise(false);
    const Ogre::ConfigOptionMap& config = system->getConfigOptions();
    int windowWidth = 800, windowHeight = 600;
    bool fullScreen = false;
    if (config.count("Video Mode") != 0) {
        std::sscanf(config.at("Video Mode").currentValue.c_str(), "%d x %d", &windowWidth, &windowHeight);
    }
    if (config.count("Full Screen") != 0) {
        fullScreen = config.at("Full Screen").currentValue == "Yes";
    }
    Ogre::NameValuePairList placement;
    placement["left"] = std::to_string(left + (fullScreen ? 0 : std::max(0, (width - windowWidth) / 2)));
    placement["top"] = std::to_string(top + (fullScreen ? 0 : std::max(0, (height - windowHeight) / 2)));
    return root_->createRenderWindow(ShellTexts::WindowTitle, static_cast<unsigned>(windowWidth),
                                     static_cast<unsigned>(windowHeight), fullScreen, &placement);
}

void Scene::runCommandFile(const std::string& path) {
    CommandFileChannel channel(path);
    SceneParser::dispatch(*project_, channel);
}

void Scene::requestTermination() {
    terminationRequested_ = 1;
}

void Scene::mainLoop() {
    while (turn(false)) {
    }
    if (camera_.latency().enabled()) {
        std::cout << camera_.latency().report() << std::endl;
    }
}

bool Scene::runOneTurn() {
    return turn(true);
}

bool Scene::turn(bool alwaysDraw) {
    if (input_->quitAsked() || terminationRequested_ != 0) {
        return false;
    }
    OgreBites::WindowEventUtilities::messagePump();
    if (window_->isClosed()) {
        return false;
    }
    InputDispatcher::instance().capture();
    int wait = 0;
    const bool continuously = animating_ || views_->debugVisible();
    if (!alwaysDraw && !pacing_.dueNow(window_->getWidth(), window_->getHeight(), continuously, wait)) {
        // Nothing to draw yet: serve project work until something changes or the wait is over.
        tasks_.runUntilWoken(wait);
        return true;
    }
    pacing_.drawing();
    try {
        root_->_fireFrameStarted();
        // Through the root, not the window alone: the root counts frames, and entities
        // re-pose their skeletons only when the frame number has moved on.
        root_->_updateAllRenderTargets();
        camera_.frameShown(); // the window has swapped its buffers
        root_->_fireFrameEnded();
    } catch (...) {
        // A failed frame is dropped; the next turn draws again.
    }
    // Project work waiting since before the frame goes first, then the next turn.
    tasks_.runPending();
    return true;
}

bool Scene::frameStarted(const Ogre::FrameEvent& event) {
    const float frameTime = event.timeSinceLastFrame;
    views_->updateSplash(frameTime, camera_.isCapturing());
    camera_.showNewestFrame();
    views_->updateDebugOverlay(window_, project_->title());
    StatusFacts facts;
    const VelVideoCapture::Status status = camera_.status();
    facts.capturing = status.capturing;
    facts.lost = status.lost;
    facts.device = status.device;
    facts.failure = status.failure;
    facts.calibrationNote = camera_.calibrationNote();
    project_->statusFacts(facts);
    views_->updateStatusLine(frameTime, facts, status.frames);
    if (!views_->fourViews()) {
        // Only the main camera draws: the actors' lights are found for it (see ViewsSceneManager).
        static_cast<ViewsSceneManager*>(viewsScene_)->findLightsFor(views_->mainCamera());
    }
    animating_ = project_->updateFrame(frameTime);
    secondClock_ += frameTime;
    if (secondClock_ >= 1.0) {
        secondClock_ = 0.0;
        // Floods of like lines that have ended get their count written, once a second.
        logFile_->flush();
        VelOS::flushRepeatedFailures();
    }
    return true;
}
