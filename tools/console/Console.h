#pragma once

// velquin-console's hub: the HTTP and WebSocket server of the page and the player connections
// behind it. It owns the shared listener connection (whose events go to every open page), the
// live picture's feed, the list of files uploaded through it, and the set of open page and
// picture sockets.
//
// Threads: everything runs on the one thread that runs the io_context, except the picture
// feed's grabbing thread and the short-lived thread that asks the player for its cameras; both
// hand their results over by posting to the io_context. No lock is needed here.

#include "tools/console/AccessToken.h"
#include "tools/console/ConsoleOptions.h"
#include "tools/console/PictureFeed.h"
#include "tools/console/PlayerLink.h"

#include <boost/asio.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace VelConsole {

class PageSocket;
class PictureSocket;

class Console {
public:
    Console(boost::asio::io_context& io, ConsoleOptions options, AccessToken token);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Binds the page's address and starts the listener connection and the picture feed.
    bool start(std::string& error);
    // Closes the server and the player connections; the io_context's run returns after it.
    void stop();

    // The page's address with the token, for the operator: http://HOST:PORT/?token=...
    std::string pageAddress() const;
    unsigned short boundPort() const { return boundPort_; }

    const ConsoleOptions& options() const { return options_; }
    const AccessToken& token() const { return token_; }
    PlayerAddress player() const { return {options_.playerHost, options_.playerPort}; }
    boost::asio::io_context& io() { return io_; }
    // The cookie that carries the token once the page has been opened with it; named after the
    // port, since browsers share cookies among the ports of one host.
    std::string cookieName() const;

    // Open pages: they receive every event and every change of the console's state.
    void attach(PageSocket* page);
    void detach(PageSocket* page);
    // What a page gets first: the console's version, the player's address and whether the
    // player and the picture are there.
    nlohmann::json hello() const;

    void attach(PictureSocket* picture);
    void detach(PictureSocket* picture);
    // The next frame of the picture, or the reason there is none.
    using FrameWaiter = std::function<void(PictureFeed::Frame frame, const std::string& reason)>;
    void waitForFrame(FrameWaiter waiter);

    // A page made a new project, which the player announces with no event: every page reads the
    // project again.
    void projectRenewed();

    // A file reached the player through the console: every page hears of it.
    void uploaded(const std::string& name, long long size);

    // The player machine's cameras for the camera set-up (see CameraList.h), on the network thread.
    void cameras(std::function<void(nlohmann::json)> answer);

private:
    void accept();
    void onEvents(const std::vector<std::string>& lines);
    void onPlayerState(bool connected, const std::string& reason);
    void onFrame(PictureFeed::Frame frame);
    void onPictureStatus(bool available, const std::string& reason);
    void broadcast(const nlohmann::json& message);
    nlohmann::json uploadList() const;

    boost::asio::io_context& io_;
    const ConsoleOptions options_;
    const AccessToken token_;
    boost::asio::ip::tcp::acceptor acceptor_;
    unsigned short boundPort_ = 0;
    std::shared_ptr<PlayerListener> listener_;
    std::unique_ptr<PictureFeed> feed_;
    bool pictureAvailable_ = false;
    std::string pictureReason_;
    std::set<PageSocket*> pages_;              // not owned: each removes itself when it ends
    std::set<PictureSocket*> pictures_;        // not owned, as above
    std::vector<FrameWaiter> frameWaiters_;    // single frames asked over HTTP
    std::map<std::string, long long> uploads_; // stored name -> size, in the order of names
    std::vector<std::function<void(nlohmann::json)>> cameraWaiters_;
    std::thread cameraThread_; // asks the player program for its cameras; joined before the next
    bool stopped_ = false;
};

} // namespace VelConsole
