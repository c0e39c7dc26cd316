// The player's entry function.
#include "app/Scene.h"
#include "app/ShellTexts.h"
#include "app/StartOptions.h"
#include "video/V4L2VideoDevice.h"

#include <csignal>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/resource.h>

#ifndef VELQUIN_VERSION
#define VELQUIN_VERSION "unknown"
#endif

namespace {

// Lines stay short and entries keep one indentation each, so that help2man makes the manual
// page from this text without running entries together.
const char* const Usage = "Usage: velquin [OPTION]... [COMMAND-FILE]\n"
                          "Augmented-reality presentation player: shows the camera picture, finds\n"
                          "square markers in it and draws 3D content on them, driven by an authoring\n"
                          "tool (or velquin-ctl) over TCP.\n"
                          "\n"
                          "Without --settings the player starts with the settings of display.cfg\n"
                          "(the last ones chosen), or a window of 800 x 600. Escape or closing the\n"
                          "window ends the player; so do Ctrl+C and SIGTERM.\n"
                          "\n"
                          "Keys in the window:\n"
                          "  Escape            end the player\n"
                          "  D                 show or hide the debug overlay (frame statistics and\n"
                          "                    the status line)\n"
                          "  F11               full screen on or off\n"
                          "  P, T, F, L        steer the main, top, front or left camera with the\n"
                          "                    number keys: 1/2 x, 3/4 y, 5/6 z (10 units), 7/8\n"
                          "                    pitch, 9/0 yaw (10 degrees)\n"
                          "  Numpad 0          mouse mode on or off (pick an actor, then drag it)\n"
                          "  Numpad 1, 2, 3    dragging moves, rotates or scales\n"
                          "  Numpad 4, 5, 6    dragging along the x, y or z axis\n"
                          "\n"
                          "Options:\n"
                          "  COMMAND-FILE      sentences run at start, one per line, before the\n"
                          "                    window starts rendering; \"project.net.init(4000);\"\n"
                          "                    in it lets clients connect on port 4000\n"
                          "  --settings        open the engine's configuration dialog first\n"
                          "                    (render system, window size, full screen); it saves\n"
                          "                    its choices to display.cfg for the next starts\n"
                          "  --fullscreen      open full screen at the size of the screen\n"
                          "  --screen N        open on monitor N (0 the first), where the display\n"
                          "                    has several\n"
                          "  --list-cameras    list every camera with its formats, sizes and frame\n"
                          "                    rates, and the configuration text that selects each\n"
                          "                    in project.videocapture.init(\"V4L2\", ...)\n"
                          "  --allow ADDRESSES\n"
                          "                    only these clients may connect: IPv4 addresses or\n"
                          "                    blocks, comma-separated (\"127.0.0.1,192.168.1.0/24\");\n"
                          "                    default: everyone\n"
                          "  --max-connections N\n"
                          "                    connections held at once (default 256); more are\n"
                          "                    closed at once. An eighth of them is kept for local\n"
                          "                    (loopback) and allowed clients, who get a place even\n"
                          "                    when all are taken: a silent connection is closed\n"
                          "                    for them\n"
                          "  --max-per-address N\n"
                          "                    connections one address other than those may hold\n"
                          "                    at once (default 32)\n"
                          "  --help            show this help and exit\n"
                          "  --version         show the version and exit\n"
                          "\n"
                          "Environment:\n"
                          "  VELQUIN_NO_CONFIG_DIALOG=1\n"
                          "                    never open the configuration dialog, even with\n"
                          "                    --settings (unattended starts); without display.cfg\n"
                          "                    a window of 800 x 600\n"
                          "  VELQUIN_RECORDINGS=DIR:...\n"
                          "                    folders (absolute) that File cameras may play\n"
                          "                    recordings from, besides the player's folder and its\n"
                          "                    work directory\n"
                          "  VELQUIN_ALLOW, VELQUIN_MAX_CONNECTIONS, VELQUIN_MAX_PER_ADDRESS\n"
                          "                    as --allow, --max-connections and --max-per-address\n"
                          "  VELQUIN_PACKAGE_MAX_MB\n"
                          "                    how far a resource package may expand in all, in MiB\n"
                          "                    (default 1024)\n"
                          "  VELQUIN_PACKAGE_MAX_RATIO\n"
                          "                    how far it may expand as a multiple of its archive's\n"
                          "                    size (default 100)\n"
                          "  VELQUIN_PACKAGE_MAX_TEXT_MB\n"
                          "                    how large each of its material scripts and scene\n"
                          "                    files may be, in MiB (default 16)\n"
                          "  VELQUIN_WORKDIR_MAX_MB\n"
                          "                    how much the work directory may hold in all, in MiB\n"
                          "                    (default half the disk's free space at start)\n"
                          "  VELQUIN_CAMERA_CACHE_MB\n"
                          "                    decoded frames a File camera keeps, in MiB\n"
                          "                    (default 256)\n"
                          "  VELQUIN_LOG_MAX_MB\n"
                          "                    size at which log.txt becomes log.txt.1, in MiB\n"
                          "                    (default 10; two old files are kept)\n"
                          "\n"
                          "Files:\n"
                          "  plugins.cfg, display.cfg, VelquinCore.zip, void.zip, camera_para.dat\n"
                          "                    read from the current directory, the player's folder\n"
                          "  \"log.txt\"         the engine log, written there, with one line for\n"
                          "                    every failed operation and why (also on standard\n"
                          "                    error); like lines past a few a minute are counted\n"
                          "  $TMPDIR/Velquin-<process id>/\n"
                          "                    received and saved files (TMPDIR: default /tmp),\n"
                          "                    removed at exit\n";

// Ctrl+C in a terminal or a service stop ends the player like closing its window, so that
// the work directory is removed.
void requestEnd(int) {
    Scene::requestTermination();
}

// A flood of clients must meet the player's own connection limit, not the process's descriptor
// limit, whose usual soft value (1024) is far below the hard one.
void raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// A set-up that cannot go on: one line naming the cause, the work directory removed, and the
// exit status of a failed set-up.
int failedSetup(std::unique_ptr<Scene>& scene, const std::string& cause) {
    std::cerr << "velquin: " << cause << std::endl;
    scene.reset();
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const StartOptions options = StartOptions::parse(argc, argv);
    if (options.help) {
        std::cout << Usage;
        return 0;
    }
    if (options.version) {
        std::cout << "velquin " << VELQUIN_VERSION << std::endl;
        return 0;
    }
    if (!options.error.empty()) {
        std::cerr << "velquin: " << options.error << "\n" << Usage;
        return 2;
    }
    if (options.listCameras) {
        std::cout << V4L2VideoDevice::listCameras();
        return 0;
    }
    raiseOpenFileLimit();
    // A thread per connection, hundreds at once in a flood: glibc would give them up to eight
    // heaps per core, each keeping what its threads freed (a 10-minute soak with floods grew by
    // 420 MB so, by 230 MB with two heaps).
    mallopt(M_ARENA_MAX, 2);

    // From here on an ending signal only asks the main loop to stop, so that the work
    // directory is removed even when the signal comes during set-up.
    std::signal(SIGINT, requestEnd);
    std::signal(SIGTERM, requestEnd);
    auto scene = std::make_unique<Scene>();
    scene->setStartOptions(options);
    scene->setServerPolicy(options.serverPolicy);
    try {
        if (!scene->setup()) {
            return failedSetup(scene, scene->setupFailure());
        }
    } catch (const Ogre::Exception& error) {
        std::cerr << ShellTexts::ExceptionCaption << "\n" << error.getFullDescription() << std::endl;
        return failedSetup(scene, "set-up failed: " + error.getDescription());
    } catch (const std::exception& error) {
        std::cerr << ShellTexts::ExceptionCaption << "\n" << error.what() << std::endl;
        return failedSetup(scene, std::string("set-up failed: ") + error.what());
    }

    if (options.arguments.size() == 1) {
        scene->runCommandFile(options.arguments.front());
    }

    scene->mainLoop();
    scene.reset();
    return 0;
}
