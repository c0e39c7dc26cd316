// velquin-console: the authoring page of a Velquin player, served to web browsers. It speaks the
// player's remote-control protocol like any authoring tool and serves one page that shows and
// builds the player's project; see ConsoleUsage below and Console.h.

#include "tools/console/AccessToken.h"
#include "tools/console/Console.h"
#include "tools/console/ConsoleOptions.h"

#include <boost/asio.hpp>

#include <unistd.h>

#include <climits>
#include <csignal>
#include <iostream>
#include <string>

namespace {

// Lines stay short and entries keep one indentation each, so that help2man makes the manual
// page from this text without running entries together.
const char* const ConsoleUsage =
    "Usage: velquin-console [OPTION]...\n"
    "Serves the authoring page of a Velquin player to web browsers: the\n"
    "project's resources, trackers and actors, uploads, an inspector,\n"
    "animations, the camera, saving and loading, the event log and the live\n"
    "picture of the player's window.\n"
    "\n"
    "At start the console prints the page's address with its access token.\n"
    "Every request without the token is refused (401), and so is a WebSocket\n"
    "opened by a page of another site (403). Files go to the player as they\n"
    "arrive; the console writes none to disk. The live picture (JPEG frames of\n"
    "the player's window, 15 a second while a page watches) needs the console\n"
    "to run on the player's X display.\n"
    "\n"
    "Options:\n"
    "  --player HOST:PORT\n"
    "                    the player to drive (default 127.0.0.1:4000); the\n"
    "                    console waits for it and reconnects when it restarts\n"
    "  --listen ADDRESS:PORT\n"
    "                    where the page is served (default 127.0.0.1:8080;\n"
    "                    0.0.0.0:8080 for the stage's network; port 0 takes a\n"
    "                    free one)\n"
    "  --token-file FILE\n"
    "                    read the access token from the first line of FILE\n"
    "                    instead of making a new random one at each start\n"
    "  --max-upload MIB  the largest file a page may upload (default 1024)\n"
    "  --window-title TITLE\n"
    "                    the window shown as the live picture (default\n"
    "                    Velquinor)\n"
    "  --velquin PATH    the player program asked for the cameras (default:\n"
    "                    velquin beside this program)\n"
    "  --page DIR        the page's files (default: console/ beside this program)\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n";

std::string programFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string(".");
    const std::string::size_type slash = folder.rfind('/');
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

} // namespace

int main(int argc, char** argv) {
    VelConsole::ConsoleOptions options;
    std::string error;
    if (!VelConsole::parseConsoleOptions(argc - 1, argv + 1, options, error)) {
        std::cerr << "velquin-console: " << error << "\n" << ConsoleUsage;
        return 2;
    }
    if (options.help) {
        std::cout << ConsoleUsage;
        return 0;
    }
    if (options.version) {
        std::cout << "velquin-console " << VELQUIN_VERSION << std::endl;
        return 0;
    }
    const std::string folder = programFolder();
    if (options.pageFolder.empty()) {
        options.pageFolder = folder + "/console";
    }
    if (options.playerProgram.empty()) {
        options.playerProgram = folder + "/velquin";
    }
    if (::access((options.pageFolder + "/index.html").c_str(), R_OK) != 0) {
        std::cerr << "velquin-console: no page in " << options.pageFolder << " (index.html is missing)\n";
        return 1;
    }
    VelConsole::AccessToken token;
    if (!options.tokenFile.empty() ? !token.readFrom(options.tokenFile, error) : !token.generate()) {
        std::cerr << "velquin-console: " << (error.empty() ? "no random source for the access token" : error)
                  << "\n";
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);

    boost::asio::io_context io(1);
    VelConsole::Console console(io, options, token);
    if (!console.start(error)) {
        std::cerr << "velquin-console: " << error << "\n";
        return 1;
    }
    boost::asio::signal_set endings(io, SIGINT, SIGTERM);
    endings.async_wait([&](const boost::system::error_code&, int) {
        console.stop();
        io.stop();
    });
    std::cout << "velquin-console: the page is at " << console.pageAddress() << "\n"
              << "velquin-console: driving the player at " << options.playerHost << ":" << options.playerPort
              << std::endl;
    io.run();
    return 0;
}
