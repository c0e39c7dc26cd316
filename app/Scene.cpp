#include "app/Scene.h"

#include "app/InputDispatcher.h"
#include "app/LogFileListener.h"
#include "app/ShellTexts.h"
#include "app/ViewsSceneManager.h"
#include "app/X11Desktop.h"
#include "net/SentenceHandler.h"
#include "net/Server.h"
#include "platform/DiskBudget.h"
#include "platform/enginelog.h"
#include "platform/fileutil.h"
#include "platform/keepmapped.h"
#include "platform/threadpriority.h"
#include "platform/workdir.h"
#include "tracking/lens.h"

#include <OGRE/Bites/OgreBitesConfigDialog.h>
#include <OGRE/Bites/OgreWindowEventUtilities.h>
#include <OGRE/OgreManualObject.h>
#include <OGRE/OgreRectangle2D.h>
#include <OGRE/Overlay/OgreOverlay.h>
#include <OGRE/Overlay/OgreOverlayContainer.h>
#include <OGRE/Overlay/OgreOverlayManager.h>
#include <OGRE/Overlay/OgreOverlaySystem.h>
#include <OGRE/Overlay/OgreTextAreaOverlayElement.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

// How much lower than the rest of the player a CPU rasteriser's threads run (nice value).
constexpr int RasteriserNiceness = 5;

// The grid rectangle belongs to the VIEWPORTS scene, which the MAIN scene also draws (its root
// hangs under MAIN's root). The main view leaves this bit out so that the grid only ever shows
// behind the auxiliary views and never covers the camera picture.
constexpr Ogre::uint32 GridVisibilityBit = 0x80000000;

// Text areas made while the overlay scripts are parsed lay out their captions before their font
// has rendered its glyphs (that happens when the font's texture is first loaded), and would draw
// every character from texture position 0. Loading the font's material, then setting the font
// again, gives them the real glyphs.
void rebindFonts(Ogre::OverlayElement* element) {
    if (element->getTypeName() == "TextArea") {
        auto* text = static_cast<Ogre::TextAreaOverlayElement*>(element);
        const Ogre::FontPtr& font = text->getFont();
        if (font) {
            font->load();
            if (font->getMaterial()) {
                font->getMaterial()->load();
            }
            text->setFontName(font->getName(), font->getGroup());
            text->setCaption(text->getCaption());
        }
    }
    if (element->isContainer()) {
        for (const auto& child : static_cast<Ogre::OverlayContainer*>(element)->getChildren()) {
            rebindFonts(child.second);
        }
    }
}

void rebindFonts(Ogre::Overlay* overlay) {
    for (Ogre::OverlayContainer* container : overlay->get2DElements()) {
        rebindFonts(container);
    }
}

constexpr Ogre::Real AmbientLevel = 0.35f;

constexpr int BackgroundWidth = 640;
constexpr int BackgroundHeight = 480;

} // namespace

Scene::Scene() {
    handlerFactory_ = std::make_unique<SentenceHandlerFactory>(*this, *this);
}

Scene::~Scene() {
    // Nothing may hand frames to the Scene any more from here on: the capture stops first.
    capture_.stopAndWait();
    // The viewers file actors opened end with the player: they show files of the work directory.
    VelOS::endOpenedViewers();
    if (!workDirectory_.empty() && !VelOS::removeDirectoryTree(workDirectory_)) {
        std::cout << ShellTexts::CannotDelete << workDirectory_ << ShellTexts::DirectorySuffix << std::endl;
    }

    // Connection threads use the Scene through their handlers: refuse further project work,
    // close every connection, then wait (a bounded time) until each thread has let go before
    // anything they use goes away.
    tasks_.close();
    {
        VelOS::SemaphoreLock hold(sceneLock_);
        stopServer();
    }
    if (!handlerFactory_->waitForHandlers(10000)) {
        std::cerr << "Scene: connections still running at exit" << std::endl;
    }
    handlerFactory_.reset();
    trackers_.destroyAll();
    // The actors go while the engine is still there, and before the meshes they show.
    actors_.destroyAll();
    selectedActor_ = nullptr;
    // The packages after the actors that show their meshes.
    resources_.clear();
    VelOS::setEngineLogSink(nullptr);

    frameHold_.reset();
    InputDispatcher::instance().removeListener("Scene");
    InputDispatcher::instance().shutdown(); // before the window goes
    if (root_) {
        root_->removeFrameListener(this);
        if (window_ != nullptr) {
            OgreBites::WindowEventUtilities::_removeRenderWindow(window_);
        }
        if (gridRectangle_ && gridRectangle_->getParentSceneNode() != nullptr) {
            gridRectangle_->getParentSceneNode()->detachObject(gridRectangle_.get());
        }
        if (backgroundRectangle_ && backgroundRectangle_->getParentSceneNode() != nullptr) {
            backgroundRectangle_->getParentSceneNode()->detachObject(backgroundRectangle_.get());
        }
        gridRectangle_.reset();
        backgroundRectangle_.reset();
        backgroundMaterial_.reset();
        backgroundTexture_.reset();
        // The VIEWPORTS root hangs under MAIN's root; unhook it before either manager goes.
        if (mainSceneManager_ != nullptr && viewsSceneManager_ != nullptr) {
            Ogre::SceneNode* viewsRoot = viewsSceneManager_->getRootSceneNode();
            if (viewsRoot->getParent() != nullptr) {
                viewsRoot->getParent()->removeChild(viewsRoot);
            }
        }
        if (viewsSceneManager_ != nullptr && rayQuery_ != nullptr) {
            viewsSceneManager_->destroyQuery(rayQuery_);
        }
        if (mainSceneManager_ != nullptr && overlaySystem_) {
            mainSceneManager_->removeRenderQueueListener(overlaySystem_.get());
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
    trackers_.setWorkDirectory(workDirectory_);
    capture_.setWorkDirectory(workDirectory_);

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
    fullScreen_ = window_->isFullScreen();
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
    mainSceneManager_ = root_->createSceneManager(Ogre::DefaultSceneManagerFactory::FACTORY_TYPE_NAME,
                                                  ShellTexts::MainSceneManager);
    viewsSceneManager_ =
        root_->createSceneManager(ViewsSceneManager::TypeName, ShellTexts::ViewsSceneManager);
    if (mainSceneManager_ == nullptr || viewsSceneManager_ == nullptr) {
        return failSetup("cannot create the scene managers");
    }
    // A little light everywhere, so that content no lamp reaches is still seen in shape.
    mainSceneManager_->setAmbientLight(Ogre::ColourValue(AmbientLevel, AmbientLevel, AmbientLevel));
    viewsSceneManager_->setAmbientLight(Ogre::ColourValue(AmbientLevel, AmbientLevel, AmbientLevel));
    mainSceneManager_->addRenderQueueListener(overlaySystem_.get());
    mainNode_ = viewsSceneManager_->getRootSceneNode()->createChildSceneNode(
        ShellTexts::MainNode, Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY);
    mainSceneManager_->getRootSceneNode()->addChild(viewsSceneManager_->getRootSceneNode());

    // 8. Actors live in VIEWPORTS, under MainNode; a deleted actor first leaves its tracker.
    actors_.bind(viewsSceneManager_, this);
    actors_.bindTrackers(&trackers_);
    // The packages load into VIEWPORTS too.
    resources_.bind(viewsSceneManager_, this);

    // 9. to 11. Cameras and viewports.
    mainCamera_ = mainSceneManager_->createCamera(ShellTexts::MainCamera);
    topCamera_ = viewsSceneManager_->createCamera(ShellTexts::TopCamera);
    frontCamera_ = viewsSceneManager_->createCamera(ShellTexts::FrontCamera);
    leftCamera_ = viewsSceneManager_->createCamera(ShellTexts::LeftCamera);
    if (mainCamera_ == nullptr || topCamera_ == nullptr || frontCamera_ == nullptr ||
        leftCamera_ == nullptr) {
        return failSetup("cannot create the cameras");
    }
    mainSceneManager_->getRootSceneNode()->attachObject(mainCamera_);
    setupCameras();
    if (!setupViewports()) {
        return failSetup("cannot create the viewports");
    }

    // 12. The light of the auxiliary views.
    Ogre::Light* omni = viewsSceneManager_->createLight(ShellTexts::OmniLight);
    viewsSceneManager_->getRootSceneNode()->attachObject(omni);
    omni->setPowerScale(0.01f);

    // 13. Splash and debug overlays.
    if (!setupOverlays()) {
        return failSetup(std::string(ShellTexts::CoreArchive) + " lacks the splash or debug overlay");
    }

    // 14. The built-in resource "Nothing" from the empty package. Packages are only ever read
    // from the work directory, so the copy beside the received ones comes first.
    VelOS::copyFile(ShellTexts::VoidArchive, workDirectory_ + ShellTexts::VoidArchive);
    resources_.create(ShellTexts::NothingResource, workDirectory_ + ShellTexts::VoidArchive);

    // 15. Keyboard and mouse.
    setupInput();

    // 16. Picking.
    rayQuery_ =
        viewsSceneManager_->createRayQuery(Ogre::Ray(Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_Z), 0xFFFFFFFF);

    // 17. and 18. Grid and video backgrounds.
    setupBackgrounds();

    // 19. to 21.
    root_->addFrameListener(this);
    unsigned long xWindow = 0;
    window_->getCustomAttribute("WINDOW", &xWindow);
    desktop_->setArrowCursor(xWindow);
    screenWidth_ = desktop_->displayWidth();
    screenHeight_ = desktop_->displayHeight();

    // The model starts as the engine side is now: clients read it from the first connection on.
    {
        VelOS::SemaphoreLock frame(frameLock_);
        VelOS::SemaphoreLock scene(sceneLock_);
        publish();
    }
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

void Scene::toggleFullScreen() {
    if (window_ == nullptr) {
        return;
    }
    // The window manager sizes a window it is asked to make full screen; without one (a kiosk
    // on a bare X server) the window is moved and sized by hand as well.
    unsigned long xWindow = 0;
    window_->getCustomAttribute("WINDOW", &xWindow);
    fullScreen_ = !fullScreen_;
    if (!fullScreen_) {
        window_->setFullscreen(false, static_cast<unsigned>(windowedWidth_),
                               static_cast<unsigned>(windowedHeight_));
        desktop_->placeWindow(xWindow, windowedLeft_, windowedTop_, windowedWidth_, windowedHeight_);
    } else {
        unsigned int width0 = 0, height0 = 0, depth = 0;
        window_->getMetrics(width0, height0, depth, windowedLeft_, windowedTop_);
        windowedWidth_ = static_cast<int>(width0);
        windowedHeight_ = static_cast<int>(height0);
        int left = 0, top = 0, width = desktop_->displayWidth(), height = desktop_->displayHeight();
        if (options_.screen >= 0) {
            desktop_->monitor(options_.screen, left, top, width, height);
        }
        window_->setFullscreen(true, static_cast<unsigned>(width), static_cast<unsigned>(height));
        desktop_->placeWindow(xWindow, left, top, width, height);
    }
    for (Ogre::Viewport* viewport : {mainViewport_, topViewport_, frontViewport_, leftViewport_}) {
        applyAspect(viewport);
    }
}

// The camera's own transform is relative to the node it hangs on: the auxiliary cameras keep
// theirs when they are later attached to an actor's node, so the engine's camera-local
// placement is what they need.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void Scene::setupCameras() {
    for (Ogre::Camera* camera : {mainCamera_, topCamera_, frontCamera_, leftCamera_}) {
        camera->setNearClipDistance(1);
    }
    mainCamera_->setPosition(0, 0, 0);
    mainCamera_->setDirection(0, 0, 1);

    topCamera_->setPosition(0, 0, 300);
    topCamera_->roll(Ogre::Degree(90));

    // Looking straight down the default yaw axis is degenerate for lookAt: the front camera
    // looks at the origin along -Y with +Z as its up direction.
    frontCamera_->setPosition(0, 300, 0);
    frontCamera_->setOrientation(
        Ogre::Quaternion(Ogre::Vector3::NEGATIVE_UNIT_X, Ogre::Vector3::UNIT_Z, Ogre::Vector3::UNIT_Y));

    leftCamera_->setPosition(300, 0, 0);
    leftCamera_->lookAt(0, 0, 0);
    leftCamera_->roll(Ogre::Degree(90));
}
#pragma GCC diagnostic pop

bool Scene::setupViewports() {
    mainViewport_ = window_->addViewport(mainCamera_, 3, 0, 0, 1, 1);
    topViewport_ = window_->addViewport(topCamera_, 2, 0, 0, 1, 1);
    frontViewport_ = window_->addViewport(frontCamera_, 1, 0, 0, 1, 1);
    leftViewport_ = window_->addViewport(leftCamera_, 0, 0, 0, 1, 1);
    if (mainViewport_ == nullptr || topViewport_ == nullptr || frontViewport_ == nullptr ||
        leftViewport_ == nullptr) {
        return false;
    }
    for (Ogre::Viewport* viewport : {mainViewport_, topViewport_, frontViewport_, leftViewport_}) {
        viewport->setBackgroundColour(Ogre::ColourValue(0, 0, 0, 1));
        applyAspect(viewport);
    }
    mainViewport_->setVisibilityMask(~GridVisibilityBit);
    // Overlays belong to the augmented view only.
    for (Ogre::Viewport* viewport : {topViewport_, frontViewport_, leftViewport_}) {
        viewport->setOverlaysEnabled(false);
        // Hidden under the main view in the single-view layout: not drawn at all.
        viewport->setAutoUpdated(false);
    }
    return true;
}

bool Scene::setupOverlays() {
    Ogre::OverlayManager& overlays = Ogre::OverlayManager::getSingleton();
    splashOverlay_ = overlays.getByName(ShellTexts::SplashOverlay);
    if (splashOverlay_ == nullptr) {
        return false;
    }
    rebindFonts(splashOverlay_);
    splashOverlay_->show();
    debugOverlay_ = overlays.getByName(ShellTexts::DebugOverlay);
    if (debugOverlay_ == nullptr) {
        return false;
    }
    rebindFonts(debugOverlay_);
    debugOverlay_->hide();
    // The status line is the player's own addition: an archive without it still starts.
    statusOverlay_ = overlays.getByName(ShellTexts::StatusOverlay);
    if (statusOverlay_ != nullptr) {
        rebindFonts(statusOverlay_);
        statusOverlay_->show();
    }
    return true;
}

std::unique_ptr<Ogre::Rectangle2D> Scene::makeFullScreenRectangle(const std::string& material) {
    auto rectangle = std::make_unique<Ogre::Rectangle2D>(true);
    // Corners swapped on both axes: the picture is turned by 180 degrees.
    rectangle->setCorners(1, -1, -1, 1);
    rectangle->setBoundingBox(Ogre::AxisAlignedBox(-100000, -100000, -100000, 100000, 100000, 100000));
    rectangle->setRenderQueueGroup(Ogre::RENDER_QUEUE_BACKGROUND);
    rectangle->setMaterial(Ogre::MaterialManager::getSingleton().getByName(material));
    return rectangle;
}

void Scene::setupBackgrounds() {
    gridRectangle_ = makeFullScreenRectangle(ShellTexts::GridMaterial);
    gridRectangle_->setVisibilityFlags(GridVisibilityBit);
    viewsSceneManager_->getRootSceneNode()
        ->createChildSceneNode(ShellTexts::GridNode)
        ->attachObject(gridRectangle_.get());

    backgroundTexture_ = Ogre::TextureManager::getSingleton().createManual(
        ShellTexts::BackgroundTexture, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME,
        Ogre::TEX_TYPE_2D, BackgroundWidth, BackgroundHeight, 0, Ogre::PF_R8G8B8,
        Ogre::TU_DYNAMIC_WRITE_ONLY_DISCARDABLE);
    // Start from black rather than whatever the driver hands out.
    Ogre::Image black(Ogre::PF_R8G8B8, BackgroundWidth, BackgroundHeight);
    black.setTo(Ogre::ColourValue::Black);
    backgroundTexture_->getBuffer()->blitFromMemory(black.getPixelBox());

    backgroundMaterial_ = Ogre::MaterialManager::getSingleton().create(
        ShellTexts::BackgroundMaterial, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    Ogre::Pass* pass = backgroundMaterial_->getTechnique(0)->getPass(0);
    Ogre::TextureUnitState* unit = pass->createTextureUnitState(ShellTexts::BackgroundTexture);
    // Screen points that the camera did not see show black, not the other side of the picture.
    unit->setTextureAddressingMode(Ogre::TextureUnitState::TAM_BORDER);
    unit->setTextureBorderColour(Ogre::ColourValue::Black);
    pass->setDepthCheckEnabled(false);
    pass->setDepthWriteEnabled(false);
    pass->setLightingEnabled(false);
    pass->setCullingMode(Ogre::CULL_NONE);

    // A divided rectangle rather than one quad: its texture coordinates follow the camera's lens.
    backgroundRectangle_ = std::make_unique<Ogre::ManualObject>(ShellTexts::BackgroundGrid);
    backgroundRectangle_->setUseIdentityProjection(true);
    backgroundRectangle_->setUseIdentityView(true);
    backgroundRectangle_->setDynamic(true);
    showFrameInView(nullptr, BackgroundWidth, BackgroundHeight);
    backgroundRectangle_->setBoundingBox(
        Ogre::AxisAlignedBox(-100000, -100000, -100000, 100000, 100000, 100000));
    backgroundRectangle_->setRenderQueueGroup(Ogre::RENDER_QUEUE_BACKGROUND);
    mainSceneManager_->getRootSceneNode()
        ->createChildSceneNode(ShellTexts::BackgroundNode)
        ->attachObject(backgroundRectangle_.get());
}

void Scene::showFrameInView(const Ostrevan::CameraParameters* camera, int width, int height) {
    viewFrameWidth_ = width;
    viewFrameHeight_ = height;
    // A calibration of another frame size says nothing of this one.
    viewCalibrated_ = camera != nullptr && camera->width == width && camera->height == height;
    if (viewCalibrated_) {
        viewCamera_ = *camera;
    }
    fitMainView();
}

void Scene::fitMainView() {
    constexpr int Columns = 64;
    constexpr int Rows = 48;
    if (mainCamera_ == nullptr || backgroundRectangle_ == nullptr) {
        return;
    }
    const Ostrevan::CameraParameters* camera = viewCalibrated_ ? &viewCamera_ : nullptr;
    const int viewportWidth = mainViewport_ != nullptr ? mainViewport_->getActualWidth() : 0;
    const int viewportHeight = mainViewport_ != nullptr ? mainViewport_->getActualHeight() : 0;
    const double aspect = viewportWidth > 0 && viewportHeight > 0
                              ? static_cast<double>(viewportWidth) / viewportHeight
                              : 4.0 / 3.0;
    const Ostrevan::ViewExtents view = Ostrevan::frameView(camera, viewFrameWidth_, viewFrameHeight_, aspect);
    const double near = mainCamera_->getNearClipDistance();
    mainCamera_->setFrustumExtents(
        static_cast<Ogre::Real>(view.left * near), static_cast<Ogre::Real>(view.right * near),
        static_cast<Ogre::Real>(view.top * near), static_cast<Ogre::Real>(view.bottom * near));
    const std::vector<Ostrevan::BackgroundVertex> grid =
        Ostrevan::backgroundGrid(camera, viewFrameWidth_, viewFrameHeight_, view, Columns, Rows);
    Ogre::ManualObject& object = *backgroundRectangle_;
    if (object.getSections().empty()) {
        object.estimateVertexCount(grid.size());
        object.estimateIndexCount(static_cast<size_t>(Columns) * Rows * 6);
        object.begin(ShellTexts::BackgroundMaterial, Ogre::RenderOperation::OT_TRIANGLE_LIST,
                     Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    } else {
        object.beginUpdate(0);
    }
    for (const Ostrevan::BackgroundVertex& vertex : grid) {
        object.position(vertex.x, vertex.y, -1.0f);
        object.textureCoord(vertex.u, vertex.v);
    }
    for (int row = 0; row < Rows; ++row) {
        for (int column = 0; column < Columns; ++column) {
            const Ogre::uint32 a = static_cast<Ogre::uint32>(row * (Columns + 1) + column);
            const Ogre::uint32 b = a + Columns + 1;
            object.quad(a, a + 1, b + 1, b);
        }
    }
    object.end();
}

void Scene::applyAspect(Ogre::Viewport* viewport) {
    if (viewport == mainViewport_) {
        fitMainView();
        return;
    }
    viewport->getCamera()->setAspectRatio(static_cast<Ogre::Real>(viewport->getActualWidth()) /
                                          static_cast<Ogre::Real>(viewport->getActualHeight()));
}

// ---------------------------------------------------------------- services

const std::string& Scene::getWorkDirectory() {
    return workDirectory_;
}

bool Scene::isHandMode() {
    return handMode_;
}

Ogre::SceneNode* Scene::getMainNode() {
    return mainNode_;
}

void Scene::addListener(ListenerChannel* listener) {
    model_.addListener(listener);
}

void Scene::removeListener(ListenerChannel* listener) {
    model_.removeListener(listener);
}

void Scene::dropAllListeners() {}
