// The player's entry function.
#include "app/Scene.h"
#include "app/ShellTexts.h"

#include <csignal>
#include <iostream>
#include <memory>

namespace {

// Ctrl+C in a terminal or a service stop ends the player like closing its window, so that
// the work directory is removed.
void requestEnd(int) {
    Scene::requestTermination();
}

} // namespace

int main(int argc, char** argv) {
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

    std::signal(SIGINT, requestEnd);
    std::signal(SIGTERM, requestEnd);
    scene->mainLoop();
    scene.reset();
    return 0;
}
