#include "tools/console/PictureFeed.h"

#include "tools/console/WindowCapture.h"

#include <boost/asio/post.hpp>

#include <pthread.h>

#include <chrono>

namespace VelConsole {

PictureFeed::PictureFeed(boost::asio::io_context& io, std::string windowTitle, std::string unavailableReason,
                         int framesPerSecond, FrameHandler frames, StatusHandler status)
    : io_(io), windowTitle_(std::move(windowTitle)), fixedReason_(std::move(unavailableReason)),
      framesPerSecond_(framesPerSecond), frames_(std::move(frames)), status_(std::move(status)),
      reason_(fixedReason_.empty() ? "no page has watched the picture yet" : fixedReason_) {}

PictureFeed::~PictureFeed() {
    stop();
}

void PictureFeed::start() {
    if (fixedReason_.empty() && !thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

void PictureFeed::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PictureFeed::watch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++watchers_;
    }
    wake_.notify_all();
}

void PictureFeed::unwatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (watchers_ > 0) {
        --watchers_;
    }
}

void PictureFeed::requestFrame() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++wanted_;
    }
    wake_.notify_all();
}

bool PictureFeed::available() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return available_;
}

std::string PictureFeed::reason() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reason_;
}

void PictureFeed::run() {
    // Named so that top, a debugger or a test can tell whether the capture is asleep.
    ::pthread_setname_np(::pthread_self(), ThreadName);
    WindowCapture capture(windowTitle_);
    const auto period = std::chrono::microseconds(1000000 / framesPerSecond_);
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || watchers_ > 0 || wanted_ > 0; });
            if (stopping_) {
                return;
            }
            wanted_ = 0;
        }
        const auto now = std::chrono::steady_clock::now();
        if (next < now) {
            next = now;
        }
        std::string jpeg;
        std::string reason;
        const bool grabbed = capture.grab(jpeg, reason);
        bool changed = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            changed = grabbed != available_ || (!grabbed && reason != reason_);
            available_ = grabbed;
            reason_ = grabbed ? std::string() : reason;
        }
        if (changed || !grabbed) {
            boost::asio::post(io_, [this, grabbed, reason] { status_(grabbed, reason); });
        }
        if (grabbed) {
            Frame frame = std::make_shared<const std::string>(std::move(jpeg));
            boost::asio::post(io_, [this, frame] { frames_(frame); });
        }
        // Without a window, look again twice a second rather than at the frame rate.
        next += grabbed ? period : std::chrono::milliseconds(500);
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_until(lock, next, [this] { return stopping_; });
        if (stopping_) {
            return;
        }
    }
}

} // namespace VelConsole
