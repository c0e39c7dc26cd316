#include "app/CameraBackground.h"

#include "app/ShellTexts.h"
#include "platform/enginelog.h"
#include "tracking/lens.h"
#include "video/VideoDevice.h"

#include <OGRE/OgreManualObject.h>

#include <algorithm>
#include <cstring>

namespace {

// The camera calibration, beside the player.
constexpr const char* CameraFile = "camera_para.dat";

// The picture before any camera: black, of the usual size.
constexpr int FirstWidth = 640;
constexpr int FirstHeight = 480;

// The background grid: enough cells for the lens's curve to be smooth.
constexpr int GridColumns = 64;
constexpr int GridRows = 48;

Ogre::PixelFormat engineFormat(unsigned format) {
    switch (format) {
    case PixelFormat::BGR:
        return Ogre::PF_B8G8R8;
    case PixelFormat::ABGR:
        return Ogre::PF_A8B8G8R8;
    case PixelFormat::RGB:
        return Ogre::PF_R8G8B8;
    case PixelFormat::ARGB:
        return Ogre::PF_A8R8G8B8;
    default:
        return Ogre::PF_UNKNOWN;
    }
}

// Copies a frame of rows of `row` bytes, mirrored as asked: upsideDown puts the last row first,
// sideways turns each row of pixels of pixelSize bytes end to end.
void copyFrame(const unsigned char* from, unsigned char* to, int width, int height, int pixelSize,
               bool upsideDown, bool sideways) {
    const std::size_t row = static_cast<std::size_t>(width) * pixelSize;
    for (int y = 0; y < height; ++y) {
        const unsigned char* source = from + static_cast<std::size_t>(upsideDown ? height - 1 - y : y) * row;
        unsigned char* target = to + static_cast<std::size_t>(y) * row;
        if (!sideways) {
            std::memcpy(target, source, row);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            std::memcpy(target + static_cast<std::size_t>(x) * pixelSize,
                        source + static_cast<std::size_t>(width - 1 - x) * pixelSize, pixelSize);
        }
    }
}

} // namespace

CameraBackground::CameraBackground(FramePacing& pacing) : pacing_(pacing) {}

CameraBackground::~CameraBackground() {
    capture_.stopAndWait();
}

void CameraBackground::setup(Ogre::SceneManager* mainScene, Ogre::Camera* mainCamera,
                             Ogre::Viewport* mainViewport) {
    mainCamera_ = mainCamera;
    mainViewport_ = mainViewport;
    texture_ = Ogre::TextureManager::getSingleton().createManual(
        ShellTexts::BackgroundTexture, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME,
        Ogre::TEX_TYPE_2D, FirstWidth, FirstHeight, 0, Ogre::PF_R8G8B8,
        Ogre::TU_DYNAMIC_WRITE_ONLY_DISCARDABLE);
    // Start from black rather than whatever the driver hands out.
    Ogre::Image black(Ogre::PF_R8G8B8, FirstWidth, FirstHeight);
    black.setTo(Ogre::ColourValue::Black);
    texture_->getBuffer()->blitFromMemory(black.getPixelBox());

    material_ = Ogre::MaterialManager::getSingleton().create(
        ShellTexts::BackgroundMaterial, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    Ogre::Pass* pass = material_->getTechnique(0)->getPass(0);
    Ogre::TextureUnitState* unit = pass->createTextureUnitState(ShellTexts::BackgroundTexture);
    // Screen points that the camera did not see show black, not the other side of the picture.
    unit->setTextureAddressingMode(Ogre::TextureUnitState::TAM_BORDER);
    unit->setTextureBorderColour(Ogre::ColourValue::Black);
    pass->setDepthCheckEnabled(false);
    pass->setDepthWriteEnabled(false);
    pass->setLightingEnabled(false);
    pass->setCullingMode(Ogre::CULL_NONE);

    // A divided rectangle rather than one quad: its texture coordinates follow the camera's lens.
    grid_ = std::make_unique<Ogre::ManualObject>(ShellTexts::BackgroundGrid);
    grid_->setUseIdentityProjection(true);
    grid_->setUseIdentityView(true);
    grid_->setDynamic(true);
    showFrameInView(nullptr, FirstWidth, FirstHeight);
    grid_->setBoundingBox(Ogre::AxisAlignedBox(-100000, -100000, -100000, 100000, 100000, 100000));
    grid_->setRenderQueueGroup(Ogre::RENDER_QUEUE_BACKGROUND);
    mainScene->getRootSceneNode()
        ->createChildSceneNode(ShellTexts::BackgroundNode)
        ->attachObject(grid_.get());
}

void CameraBackground::release() {
    capture_.stopAndWait();
    if (grid_ && grid_->getParentSceneNode() != nullptr) {
        grid_->getParentSceneNode()->detachObject(grid_.get());
    }
    grid_.reset();
    material_.reset();
    texture_.reset();
}

bool CameraBackground::start(const std::string& device, const std::string& configuration, std::string& why) {
    if (!capture_.initialise(device, configuration, &why)) {
        dropStaged();
        return false;
    }
    capture_.addSink(this);
    dropStaged();
    const int width = capture_.frameWidth();
    const int height = capture_.frameHeight();
    const int pixelSize = PixelFormat::bytesPerPixel(capture_.framePixelFormat());
    if (!tracking_.initialise(width, height, pixelSize, CameraFile)) {
        VelOS::engineLog("Ostrevan::Manager not initialized!");
    }
    calibrationNote_.clear();
    const Ostrevan::CameraParameters* file = tracking_.loadedCamera();
    if (file != nullptr && Ostrevan::madeForOtherAspect(*file, width, height)) {
        calibrationNote_ = std::string(CameraFile) + " was made for " + std::to_string(file->width) + "x" +
                           std::to_string(file->height) + ", not " + std::to_string(width) + "x" +
                           std::to_string(height) + ": taken as a cropped mode of that camera";
        VelOS::logFailure("VelVideoCapture::initialise: " + calibrationNote_);
    }
    showFrameInView(tracking_.camera(), width, height);
    return true;
}

void CameraBackground::stop() {
    capture_.removeSink(this);
    capture_.stop();
    dropStaged();
    tracking_.finalise();
}

void CameraBackground::setThresholdAutomatic() {
    tracking_.setThresholdMode(true);
}

void CameraBackground::setThresholdManual(int level) {
    tracking_.setThresholdMode(false, level);
    threshold_ = level;
}

void CameraBackground::setThresholdManual() {
    tracking_.setThresholdMode(false);
}

void CameraBackground::dropStaged() {
    VelOS::SemaphoreLock hold(stagingLock_);
    newFrame_ = false;
    stagedEvents_.clear();
}

void CameraBackground::frame(const unsigned char* pixels, int width, int height, unsigned format) {
    const int pixelSize = PixelFormat::bytesPerPixel(format);
    if (pixels == nullptr || pixelSize == 0 || width <= 0 || height <= 0) {
        return;
    }
    const FrameLatency::Clock::time_point delivered = FrameLatency::Clock::now();
    // The capture frees its buffers when its run ends, and the mirroring must not write into
    // them: the frame is copied first.
    working_.resize(static_cast<std::size_t>(width) * height * pixelSize);
    copyFrame(pixels, working_.data(), width, height, pixelSize, flipX_, flipY_);
    found_.clear();
    tracking_.processFrame(working_.data(), width, height, found_);
    threshold_ = tracking_.thresholdInUse();
    {
        VelOS::SemaphoreLock hold(stagingLock_);
        staged_.swap(working_); // the buffer swapped out is reused by the next frame
        stagedWidth_ = width;
        stagedHeight_ = height;
        stagedFormat_ = format;
        stagedEvents_.insert(stagedEvents_.end(), found_.begin(), found_.end());
        newFrame_ = true;
        stagedSteps_.delivered = delivered;
        stagedSteps_.detected = FrameLatency::Clock::now();
    }
    pacing_.requestRedraw();
}

void CameraBackground::showNewestFrame() {
    std::vector<Ostrevan::TargetEvent> events;
    int width = 0;
    int height = 0;
    unsigned format = 0;
    {
        VelOS::SemaphoreLock hold(stagingLock_);
        if (!newFrame_) {
            return;
        }
        uploading_.swap(staged_);
        width = stagedWidth_;
        height = stagedHeight_;
        format = stagedFormat_;
        events.swap(stagedEvents_);
        newFrame_ = false;
        shownSteps_ = stagedSteps_;
    }
    Ogre::Image picture;
    picture.loadDynamicImage(uploading_.data(), static_cast<Ogre::uint32>(width),
                             static_cast<Ogre::uint32>(height), 1, engineFormat(format), false);
    Ogre::Log* log = Ogre::LogManager::getSingleton().getDefaultLog();
    // The engine would write a line for every upload; detail level 0 writes nothing.
    log->setLogDetail(static_cast<Ogre::LoggingLevel>(0));
    if (texture_->getWidth() == picture.getWidth() && texture_->getHeight() == picture.getHeight()) {
        texture_->getBuffer()->blitFromMemory(picture.getPixelBox());
    } else {
        texture_->unload();
        texture_->loadImage(picture); // the texture takes the frame's size
    }
    log->setLogDetail(Ogre::LL_NORMAL);
    // The actors follow their markers in the picture that is drawn with them.
    tracking_.deliver(events);
    shownSteps_.uploaded = FrameLatency::Clock::now();
}

void CameraBackground::frameShown() {
    if (shownSteps_.delivered != FrameLatency::Clock::time_point()) {
        latency_.shown(shownSteps_);
        shownSteps_.delivered = FrameLatency::Clock::time_point();
    }
}

void CameraBackground::showFrameInView(const Ostrevan::CameraParameters* camera, int width, int height) {
    viewFrameWidth_ = width;
    viewFrameHeight_ = height;
    // A calibration of another frame size says nothing of this one.
    viewCalibrated_ = camera != nullptr && camera->width == width && camera->height == height;
    if (viewCalibrated_) {
        viewCamera_ = *camera;
    }
    fitMainView();
}

void CameraBackground::fitMainView() {
    if (mainCamera_ == nullptr || grid_ == nullptr) {
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
    const std::vector<Ostrevan::BackgroundVertex> vertices =
        Ostrevan::backgroundGrid(camera, viewFrameWidth_, viewFrameHeight_, view, GridColumns, GridRows);
    Ogre::ManualObject& object = *grid_;
    if (object.getSections().empty()) {
        object.estimateVertexCount(vertices.size());
        object.estimateIndexCount(static_cast<size_t>(GridColumns) * GridRows * 6);
        object.begin(ShellTexts::BackgroundMaterial, Ogre::RenderOperation::OT_TRIANGLE_LIST,
                     Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    } else {
        object.beginUpdate(0);
    }
    for (const Ostrevan::BackgroundVertex& vertex : vertices) {
        object.position(vertex.x, vertex.y, -1.0f);
        object.textureCoord(vertex.u, vertex.v);
    }
    for (int row = 0; row < GridRows; ++row) {
        for (int column = 0; column < GridColumns; ++column) {
            const Ogre::uint32 a = static_cast<Ogre::uint32>(row * (GridColumns + 1) + column);
            const Ogre::uint32 b = a + GridColumns + 1;
            object.quad(a, a + 1, b + 1, b);
        }
    }
    object.end();
}
