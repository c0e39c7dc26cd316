#include "project/ListenerChannel.h"
#include "project/ProjectModel.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {

class RecordingListener : public ListenerChannel {
public:
    void waitUntilLeaves() override {}
    // One send may carry several lines; each is recorded without its line end.
    void sendLine(const std::string& text) override {
        std::lock_guard<std::mutex> hold(guard_);
        ASSERT_EQ(text.back(), '\n');
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = text.find('\n', start);
            lines_.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> hold(guard_);
        return lines_;
    }

private:
    std::mutex guard_;
    std::vector<std::string> lines_;
};

ProjectState withMesh(const std::string& name, double x) {
    ProjectState state;
    ProjectState::Actor& actor = state.actors[name];
    actor.kind = ProjectState::Kind::Mesh;
    actor.transform.setPosition(x, 0, 0);
    return state;
}

double modelX(ProjectModel& model, const std::string& name) {
    double x = -1;
    model.read([&](const ProjectState& state) { x = state.actors.at(name).transform.position().x; });
    return x;
}

} // namespace

TEST(ProjectModel, AClientsMoveOutlivesAnEngineStateTakenBeforeTheEngineHadIt) {
    ProjectModel model;
    model.synchronise(withMesh("robot", 1), {}, nullptr);
    model.change(nullptr, [&](ProjectState& state, std::vector<std::string>&) {
        state.actors["robot"].transform.setPosition(5, 0, 0);
        model.markMoved("robot");
    });
    // Project work publishes what the engine holds: the engine does not have the move yet.
    model.synchronise(withMesh("robot", 1), {}, nullptr);
    EXPECT_EQ(modelX(model, "robot"), 5);

    bool titleChanged = true;
    std::string title;
    const auto moved = model.takeMoved(&titleChanged, &title);
    ASSERT_EQ(moved.count("robot"), 1u);
    EXPECT_EQ(moved.at("robot").position().x, 5);
    EXPECT_FALSE(titleChanged);
    // Taken: from now on the engine's state is the newer one.
    EXPECT_TRUE(model.takeMoved(&titleChanged, &title).empty());
    model.synchronise(withMesh("robot", 7), {}, nullptr);
    EXPECT_EQ(modelX(model, "robot"), 7);
}

TEST(ProjectModel, AMoveOfAnActorTheEngineDestroyedIsDropped) {
    ProjectModel model;
    model.synchronise(withMesh("robot", 1), {}, nullptr);
    model.change(nullptr, [&](ProjectState& state, std::vector<std::string>&) {
        state.actors["robot"].transform.setPosition(5, 0, 0);
        model.markMoved("robot");
    });
    model.synchronise(ProjectState(), {"project.actors.mesh.destroyed(\"robot\");"}, nullptr);
    bool titleChanged = false;
    std::string title;
    EXPECT_TRUE(model.takeMoved(&titleChanged, &title).empty());
    model.read([](const ProjectState& state) { EXPECT_TRUE(state.actors.empty()); });
}

TEST(ProjectModel, ATitleSetByAClientIsKeptUntilTheEngineTakesIt) {
    ProjectModel model;
    model.change(nullptr, [&](ProjectState& state, std::vector<std::string>&) {
        state.title = "Show";
        model.markTitle();
    });
    model.synchronise(ProjectState(), {}, nullptr);
    bool titleChanged = false;
    std::string title;
    model.takeMoved(&titleChanged, &title);
    EXPECT_TRUE(titleChanged);
    EXPECT_EQ(title, "Show");
}

TEST(ProjectModel, EveryListenerHearsEveryEventOnceInOneOrder) {
    ProjectModel model;
    RecordingListener first, second, gone;
    model.addListener(&first);
    model.addListener(&second);
    model.addListener(&gone);
    model.removeListener(&gone);
    // Changes from several threads and published project work interleave; each hold sends its
    // events before the next begins, so both listeners hear the same sequence.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&model, t] {
            for (int i = 0; i < 200; ++i) {
                const std::string event = "e" + std::to_string(t) + "." + std::to_string(i);
                if (t == 0) {
                    model.synchronise(ProjectState(), {event + "a", event + "b"}, nullptr);
                } else {
                    model.change(nullptr, [&](ProjectState&, std::vector<std::string>& events) {
                        events.push_back(event);
                    });
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<std::string> heard = first.lines();
    EXPECT_EQ(heard.size(), 200u * 2 + 3 * 200u);
    EXPECT_EQ(heard, second.lines());
    EXPECT_TRUE(gone.lines().empty());
    // Work's events stay together and in their order.
    for (std::size_t i = 0; i < heard.size(); ++i) {
        if (heard[i].back() == '\n' && heard[i][heard[i].size() - 2] == 'a') {
            ASSERT_LT(i + 1, heard.size());
            EXPECT_EQ(heard[i + 1].substr(0, heard[i + 1].size() - 2),
                      heard[i].substr(0, heard[i].size() - 2));
        }
    }
}

TEST(ActorTransform, RefusedNumbersChangeNothingAndTurnsComposeOnTheActorsOwnAxes) {
    ActorTransform transform;
    ASSERT_TRUE(transform.setPosition(1, 2, 3));
    EXPECT_FALSE(transform.setPosition(1e39, 0, 0));
    EXPECT_FALSE(transform.setOrientation(0, 0, 0, 0));
    EXPECT_FALSE(transform.pitch(1e308));
    EXPECT_EQ(transform.position(), Ogre::Vector3(1, 2, 3));
    EXPECT_EQ(transform.orientation(), Ogre::Quaternion::IDENTITY);

    // Kept as given, handed to the node normalised.
    ASSERT_TRUE(transform.setOrientation(2, 0, 0, 0));
    EXPECT_EQ(transform.orientation().w, 2.0f);
    EXPECT_FLOAT_EQ(transform.unitOrientation().w, 1.0f);

    ActorTransform turned;
    ASSERT_TRUE(turned.yaw(90));
    ASSERT_TRUE(turned.pitch(90));
    // A pitch after a yaw turns about the yawed X axis: X ends on -Z, so Y ends on X.
    const Ogre::Vector3 y = turned.orientation() * Ogre::Vector3::UNIT_Y;
    EXPECT_NEAR(y.x, 1.0f, 1e-5f);
    ActorTransform yawed;
    ASSERT_TRUE(yawed.yaw(30));
    EXPECT_NEAR(yawed.yawDegrees(), 30.0, 1e-4);
}

TEST(ProjectModel, EventsOfCommandsSentTogetherGoOutTogetherWhenTheBatchEnds) {
    ProjectModel model;
    RecordingListener early;
    model.addListener(&early);
    VelOS::CommandContext client;
    const auto event = [&model](VelOS::CommandContext* context, const std::string& text) {
        model.change(context,
                     [&](ProjectState&, std::vector<std::string>& events) { events.push_back(text); });
    };
    client.setCommandsWaiting(true);
    event(&client, "one");
    client.setCommandsWaiting(true);
    event(&client, "two");
    EXPECT_TRUE(early.lines().empty()); // held while more commands wait

    // A listener that comes now hears only what follows; the held events reach the earlier one.
    RecordingListener late;
    model.addListener(&late);
    EXPECT_EQ(early.lines(), (std::vector<std::string>{"one", "two"}));

    client.setCommandsWaiting(true);
    event(&client, "three");
    // Another client's event, not held, goes out behind the held one, in order.
    std::thread([&] {
        VelOS::CommandContext other;
        event(&other, "four");
    }).join();
    EXPECT_EQ(late.lines(), (std::vector<std::string>{"three", "four"}));
    client.endBatch(); // nothing left to send
    EXPECT_EQ(early.lines(), (std::vector<std::string>{"one", "two", "three", "four"}));

    client.setCommandsWaiting(true);
    event(&client, "five");
    client.endBatch();
    EXPECT_EQ(late.lines(), (std::vector<std::string>{"three", "four", "five"}));
}
