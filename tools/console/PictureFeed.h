#pragma once

// The live picture: a thread of its own that grabs the player's window (WindowCapture) at a
// steady rate while at least one page watches, and hands each JPEG to the network thread. It
// sleeps while nobody watches, so an unwatched console costs the player's display nothing.
//
// Threads: watch, unwatch, requestFrame, start and stop are called on the network thread; the
// handlers run there too (posted to its io_context). The feed's own thread only grabs. The
// counters and the reason are behind mutex_.

#include <boost/asio/io_context.hpp>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace VelConsole {

class PictureFeed {
public:
    using Frame = std::shared_ptr<const std::string>;
    // The grabbing thread's name (at most 15 characters, as Linux keeps them).
    static constexpr const char* ThreadName = "velquin-picture";
    // A new frame, on the network thread.
    using FrameHandler = std::function<void(Frame)>;
    // The picture became available, or a grab failed (then with the reason; said after every
    // failed grab, so that a waiting request learns of it), on the network thread.
    using StatusHandler = std::function<void(bool available, const std::string& reason)>;

    // unavailableReason non-empty: the picture can never be had (the player runs on another
    // machine); the feed then starts no thread and reports that reason.
    PictureFeed(boost::asio::io_context& io, std::string windowTitle, std::string unavailableReason,
                int framesPerSecond, FrameHandler frames, StatusHandler status);
    ~PictureFeed();

    void start();
    void stop();

    // A page starts or stops watching.
    void watch();
    void unwatch();
    // At least one more frame is wanted even without watchers (a single picture over HTTP).
    void requestFrame();

    bool available() const;
    std::string reason() const;

private:
    void run();

    boost::asio::io_context& io_;
    const std::string windowTitle_;
    const std::string fixedReason_; // why there never is a picture; empty when there may be one
    const int framesPerSecond_;
    FrameHandler frames_;
    StatusHandler status_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    int watchers_ = 0; // pages watching
    int wanted_ = 0;   // single frames asked for
    bool stopping_ = false;
    bool available_ = false;
    std::string reason_; // why the last grab failed
    std::thread thread_;
};

} // namespace VelConsole
