// The player's entry function.
#include "app/Scene.h"
#include "app/ShellTexts.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>

#ifndef VELQUIN_VERSION
#define VELQUIN_VERSION "unknown"
#endif

namespace {

const char* const Usage =
    "Usage: velquin [COMMAND-FILE]\n"
    "       velquin --help | --version\n"
    "Augmented-reality presentation player: shows the camera picture, finds square markers in it\n"
    "and draws 3D content on them, driven by an authoring tool (or velquin-ctl) over TCP.\n"
    "\n"
    "  COMMAND-FILE  sentences run at start, one per line, before the window starts rendering;\n"
    "                \"project.net.init(4000);\" in it lets clients connect on port 4000\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Environment:\n"
    "  VELQUIN_NO_CONFIG_DIALOG=1  skip the configuration dialog and use display.cfg, or else\n"
    "                              a window of 800 x 600\n"
    "\n"
    "Files: plugins.cfg, display.cfg, VelquinCore.zip, void.zip and camera_para.dat are read\n"
    "from the current directory, the player's folder; the engine log goes to \"log.txt\" there.\n"
    "Received and saved files live in $TMPDIR/Velquin-<process id>/ (default /tmp), removed at exit.\n"
    "Escape or closing the window ends the player; so do Ctrl+C and SIGTERM.\n";

// Ctrl+C in a terminal or a service stop ends the player like closing its window, so that
// the work directory is removed.
void requestEnd(int) {
    Scene::requestTermination();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << Usage;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "velquin " << VELQUIN_VERSION << std::endl;
        return 0;
    }

    // From here on an ending signal only asks the main loop to stop, so that the work
    // directory is removed even when the signal comes during set-up.
    std::signal(SIGINT, requestEnd);
    std::signal(SIGTERM, requestEnd);
    auto scene = std::make_unique<Scene>();
    try {
        if (!scene->setup()) {
            scene.reset();
            return -1;
        }
    } catch (const Ogre::Exception& error) {
        std::cerr << ShellTexts::ExceptionCaption << "\n" << error.getFullDescription() << std::endl;
        scene.reset();
        return -1;
    } catch (const std::exception& error) {
        std::cerr << ShellTexts::ExceptionCaption << "\n" << error.what() << std::endl;
        scene.reset();
        return -1;
    }

    if (argc == 2) {
        scene->runCommandFile(argv[1]);
    }

    scene->mainLoop();
    scene.reset();
    return 0;
}
