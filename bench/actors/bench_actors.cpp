// Per-frame cost of the actor update: 200 mesh actors of the sample robot, each playing its
// looping skeletal "Walk" animation, advanced by ActorManager::update as the frame loop does.
// The peer is the engine itself: the same 200 animation states advanced directly, which is the
// least any actor update has to do. Prints medians of several runs.
// Usage: bench_actors [actors] [frames]
#include "app/Scene.h"
#include "platform/fileutil.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Microseconds per frame of work, median over runs of the given number of frames.
template <typename Work> double microsecondsPerFrame(int frames, Work work) {
    std::vector<double> runs;
    for (int run = 0; run < 9; ++run) {
        const auto start = Clock::now();
        for (int frame = 0; frame < frames; ++frame) {
            work();
        }
        runs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / frames);
    }
    return median(runs);
}

} // namespace

int main(int argc, char** argv) {
    // The engine needs a display for its window; without one, run again under a virtual one.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("VELQUIN_BENCH_NO_XVFB") == nullptr) {
        setenv("VELQUIN_BENCH_NO_XVFB", "1", 1);
        std::vector<char*> again = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                    const_cast<char*>("-s"), const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i) {
            again.push_back(argv[i]);
        }
        again.push_back(nullptr);
        execvp("xvfb-run", again.data());
        std::perror("bench_actors: xvfb-run");
        return 1;
    }
    const int actorCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 500;

    const std::string player =
        std::getenv("VELQUIN_PLAYER_DIR") != nullptr ? std::getenv("VELQUIN_PLAYER_DIR") : VELQUIN_PLAYER_DIR;
    if (chdir(player.c_str()) != 0) {
        std::fprintf(stderr, "bench_actors: no player folder at %s\n", player.c_str());
        return 1;
    }
    setenv("VELQUIN_NO_CONFIG_DIALOG", "1", 1);
    setenv("LP_NUM_THREADS", "0", 1);
    Scene scene;
    if (!scene.setup()) {
        std::fprintf(stderr, "bench_actors: set-up failed\n");
        return 1;
    }
    EngineProject& project = scene.project();
    VelOS::CommandContext context;
    const std::string package = scene.getWorkDirectory() + "robot.zip";
    VelOS::copyFile("samples/robot.zip", package);
    if (!project.resourceCreate(context, "robot", package)) {
        std::fprintf(stderr, "bench_actors: the sample package did not load\n");
        return 1;
    }
    ActorManager& actors = scene.getActors();
    std::vector<Ogre::AnimationState*> states;
    for (int i = 0; i < actorCount; ++i) {
        const std::string name = "robot" + std::to_string(i);
        if (!project.meshCreate(context, name, "robot", "robot.mesh")) {
            std::fprintf(stderr, "bench_actors: actor %d was not made\n", i);
            return 1;
        }
        project.actorAction(context, name, "animation_loop", "Walk");
        project.actorAction(context, name, "play", "");
        states.push_back(actors.findMesh(name)->getEntity()->getAnimationState("Walk"));
    }
    const float frameTime = 1.0f / 60.0f;

    const double update = microsecondsPerFrame(frames, [&] { actors.update(frameTime); });
    const double engine = microsecondsPerFrame(frames, [&] {
        for (Ogre::AnimationState* state : states) {
            state->addTime(frameTime);
        }
    });
    std::printf("actor update, %d mesh actors playing a skeletal animation\n", actorCount);
    std::printf("  ActorManager::update           %8.1f us per frame\n", update);
    std::printf("  engine addTime on the states   %8.1f us per frame\n", engine);
    std::printf("  ratio update / engine          %8.2f\n", update / engine);
    std::printf("  target                         well under 1000 us per frame\n");
    return update < 1000.0 ? 0 : 2;
}
