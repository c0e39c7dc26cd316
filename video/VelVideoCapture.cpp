#include "video/VelVideoCapture.h"

#include "platform/enginelog.h"
#include "platform/threadpriority.h"
#include "video/FileVideoDevice.h"
#include "video/FrameSink.h"
#include "video/V4L2VideoDevice.h"

#include <algorithm>

namespace {
// Longest pause between two attempts to take a frame.
constexpr int IdleWait = 60;
// How much lower than the rest of the player the capture thread runs (nice value).
constexpr int CaptureNiceness = 5;
} // namespace

std::unique_ptr<VideoDevice> createVideoDevice(const std::string& type, const std::string& configuration,
                                               const std::string& workDirectory, V4L2Kernel* kernel,
                                               std::string* why) {
    std::unique_ptr<VideoDevice> device;
    bool valid = false;
    if (type == "File") {
        auto file = std::make_unique<FileVideoDevice>(configuration, workDirectory);
        valid = file->isValid();
        device = std::move(file);
    } else if (type == "V4L2" || type == "DirectShow") {
        auto camera = std::make_unique<V4L2VideoDevice>(type == "V4L2" ? configuration : std::string(),
                                                        kernel != nullptr ? *kernel : V4L2Kernel::system());
        valid = camera->isValid();
        device = std::move(camera);
    } else if (why != nullptr) {
        *why = "unknown device type \"" + type + "\" (\"V4L2\", \"DirectShow\" or \"File\")";
    }
    if (device && !valid) {
        if (why != nullptr) {
            *why = device->failure();
        }
        device.reset();
    }
    return device;
}

VelVideoCapture::VelVideoCapture() = default;

VelVideoCapture::~VelVideoCapture() {
    stopAndWait();
}

void VelVideoCapture::stopAndWait() {
    stop();
    std::vector<std::pair<std::thread, std::shared_ptr<Run>>> threads;
    {
        VelOS::SemaphoreLock hold(captureLock_);
        threads.swap(threads_);
    }
    for (auto& entry : threads) {
        entry.first.join();
    }
}

void VelVideoCapture::setKernel(V4L2Kernel* kernel) {
    VelOS::SemaphoreLock hold(captureLock_);
    kernel_ = kernel;
}

void VelVideoCapture::setWorkDirectory(const std::string& workDirectory) {
    VelOS::SemaphoreLock hold(captureLock_);
    workDirectory_ = workDirectory;
}

bool VelVideoCapture::initialise(const std::string& type, const std::string& configuration,
                                 std::string* why) {
    stop();
    VelOS::SemaphoreLock hold(captureLock_);
    joinFinishedRuns();
    std::string reason;
    device_ = createVideoDevice(type, configuration, workDirectory_, kernel_, &reason);
    if (!device_) {
        VelOS::engineLog("VelVideoCapture::initialise: cannot create device");
        // The reason goes to the caller's failure line, and is kept for the status line.
        if (why != nullptr) {
            *why = reason;
        }
        std::lock_guard<std::mutex> guard(statusMutex_);
        statusFailure_ =
            type + " \"" + configuration + "\": " + (reason.empty() ? "cannot create device" : reason);
        return false;
    }
    deviceName_ = type;
    configuration_ = configuration;
    {
        std::lock_guard<std::mutex> guard(statusMutex_);
        statusDevice_ = type + " " + device_->describe();
        statusFailure_.clear();
    }
    frames_.store(0);
    lost_.store(false);
    current_ = std::make_shared<Run>();
    capturing_.store(true, std::memory_order_release);
    threads_.emplace_back(std::thread(&VelVideoCapture::capture, this, current_), current_);
    return true;
}

void VelVideoCapture::stop() {
    VelOS::SemaphoreLock hold(captureLock_);
    capturing_.store(false, std::memory_order_release);
    if (current_) {
        current_->stopRequested = true;
        current_.reset();
    }
    destroyDevice();
    deviceName_.clear();
    configuration_.clear();
    lost_.store(false);
    std::lock_guard<std::mutex> guard(statusMutex_);
    statusDevice_.clear();
}

void VelVideoCapture::destroyDevice() {
    if (!device_) {
        return;
    }
    device_->interrupt();
    {
        std::unique_lock<std::mutex> guard(waitMutex_);
        waitDone_.wait(guard, [this] { return waiters_ == 0; });
    }
    device_.reset();
}

std::string VelVideoCapture::deviceName() {
    VelOS::SemaphoreLock hold(captureLock_);
    return deviceName_;
}

std::string VelVideoCapture::configuration() {
    VelOS::SemaphoreLock hold(captureLock_);
    return configuration_;
}

int VelVideoCapture::frameWidth() {
    VelOS::SemaphoreLock hold(captureLock_);
    return device_ ? device_->width() : 0;
}

int VelVideoCapture::frameHeight() {
    VelOS::SemaphoreLock hold(captureLock_);
    return device_ ? device_->height() : 0;
}

unsigned VelVideoCapture::framePixelFormat() {
    VelOS::SemaphoreLock hold(captureLock_);
    return device_ ? device_->pixelFormat() : 0;
}

void VelVideoCapture::addSink(FrameSink* sink) {
    VelOS::SemaphoreLock hold(captureLock_);
    sinks_.push_back(sink);
}

void VelVideoCapture::removeSink(FrameSink* sink) {
    VelOS::SemaphoreLock hold(captureLock_);
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

VelVideoCapture::Status VelVideoCapture::status() {
    Status status;
    status.capturing = capturing_.load(std::memory_order_acquire);
    status.lost = lost_.load();
    status.frames = frames_.load();
    std::lock_guard<std::mutex> guard(statusMutex_);
    status.device = statusDevice_;
    status.failure = statusFailure_;
    return status;
}

std::chrono::steady_clock::time_point VelVideoCapture::lastDelivery() const {
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastDelivery_.load()));
}

void VelVideoCapture::joinFinishedRuns() {
    for (auto entry = threads_.begin(); entry != threads_.end();) {
        if (entry->second->finished) {
            entry->first.join();
            entry = threads_.erase(entry);
        } else {
            ++entry;
        }
    }
}

void VelVideoCapture::capture(std::shared_ptr<Run> run) {
    // Decoding and marker search are heavy; commands and events are light and must not wait.
    VelOS::lowerThisThreadPriority(CaptureNiceness);
    std::vector<unsigned char> buffers[2];
    {
        VelOS::SemaphoreLock hold(captureLock_);
        if (device_ && current_ == run) {
            buffers[0].resize(device_->frameSize());
            buffers[1].resize(device_->frameSize());
        }
    }
    int turn = 0;
    std::vector<FrameSink*> sinks;
    for (;;) {
        bool copied = false;
        VideoDevice* waitOn = nullptr;
        int width = 0, height = 0;
        unsigned format = 0;
        {
            VelOS::SemaphoreLock hold(captureLock_);
            if (run->stopRequested) {
                break;
            }
            if (current_ == run && device_ && buffers[turn].size() == device_->frameSize() &&
                device_->copyFrame(buffers[turn].data())) {
                copied = true;
                width = device_->width();
                height = device_->height();
                format = device_->pixelFormat();
                sinks = sinks_;
            } else if (current_ == run && device_) {
                // Counted under the capture lock, so that stop sees this thread before it
                // destroys the device.
                waitOn = device_.get();
                std::lock_guard<std::mutex> guard(waitMutex_);
                ++waiters_;
            }
            if (current_ == run && device_) {
                lost_.store(device_->isLost());
            }
        }
        if (copied) {
            frames_.fetch_add(1);
            lastDelivery_.store(std::chrono::steady_clock::now().time_since_epoch().count());
            // A run that is ending may still be here when the next one starts: a sink works on
            // one frame at a time.
            std::lock_guard<std::mutex> delivering(deliveryMutex_);
            for (FrameSink* sink : sinks) {
                sink->frame(buffers[turn].data(), width, height, format);
            }
            turn ^= 1;
        } else if (waitOn != nullptr) {
            waitOn->waitForFrame(IdleWait);
            std::lock_guard<std::mutex> guard(waitMutex_);
            --waiters_;
            waitDone_.notify_all();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(IdleWait));
        }
    }
    VelOS::SemaphoreLock hold(captureLock_);
    run->finished = true;
}
