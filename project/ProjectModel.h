#pragma once

#include "platform/CommandContext.h"
#include "platform/Semaphore.h"
#include "project/ActorKind.h"
#include "project/ActorTransform.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class ListenerChannel;

// What a client can read of the project, kept apart from the engine so that connection threads
// answer reads and make simple changes without waiting for the render loop.
struct ProjectState {
    using Kind = ActorKind;
    struct Actor {
        Kind kind = Kind::Light;
        std::string resource;  // package the content comes from; empty for lights
        std::string source;    // mesh, scene or file name in the package; the engine light's name
        std::string type;      // file actors: the viewer kind
        std::string tracker;   // empty when unconnected
        bool selected = false; // the selection mark shows
        std::set<std::string> animations;
        ActorTransform transform;
    };
    struct Tracker {
        std::string patternFile;
        int width = 0;
    };
    struct Resource {
        std::string packageFileName;
        std::set<std::string> files; // as the engine knows them: resource name, "_", file name
    };

    std::string title;
    std::map<std::string, Actor> actors; // every kind: an actor name is unique across kinds
    std::map<std::string, Tracker> trackers;
    std::map<std::string, Resource> resources;
    bool debugVisible = false;
    bool flipX = false;
    bool flipY = false;
    bool thresholdAutomatic = false;
    int threshold = 0;
    bool capturing = false;
    std::string deviceName;    // while capturing
    std::string configuration; // while capturing

    // Names of actors of that kind, ascending.
    std::set<std::string> actorNames(Kind kind) const;
    // The actor of that kind by that name, or null.
    const Actor* findActor(Kind kind, const std::string& name) const;
    Actor* findActor(Kind kind, const std::string& name);
};

// The project model: the project's state behind its own lock, the listeners and the one
// sequence in which events reach them.
//
// Threads and locks: any thread, under the model lock (its place in the lock order:
// platform/LockRank.h). Listeners are sent events under it without waiting (a listener that stops
// reading loses its connection). While a client has more commands waiting, the events of its
// commands are held back and sent together: every listener still hears every event once and in
// the one order, as lines sent together. Changes a client makes here that the engine must follow
// (transforms, the title) are marked; the main thread takes the marks once per frame and before
// each piece of project work.
class ProjectModel {
public:
    ProjectModel() = default;
    ProjectModel(const ProjectModel&) = delete;
    ProjectModel& operator=(const ProjectModel&) = delete;

    // Runs read on the state under the model lock.
    void read(const std::function<void(const ProjectState&)>& read);
    // Runs change on the state under the model lock; the events it adds are sent to every
    // listener, in order, before the lock is released, or held back in the command's batch
    // (context may be null: nothing is held).
    void change(VelOS::CommandContext* context,
                const std::function<void(ProjectState&, std::vector<std::string>& events)>& change);

    void addListener(ListenerChannel* listener);
    void removeListener(ListenerChannel* listener);

    // Marks changes the engine must follow; call inside change.
    void markMoved(const std::string& actorName) { moved_.insert(actorName); }
    void markTitle() { titleChanged_ = true; }
    // Main thread: the marked actors with their transforms now, and whether the title changed;
    // the marks are cleared.
    std::map<std::string, ActorTransform> takeMoved(bool* titleChanged, std::string* title);
    // Main thread, after project work for the command of context (null: the player's own):
    // replaces the state with what the engine holds now, except the transforms of actors marked
    // and not yet taken, which are newer than the engine's, and sends the events as change does.
    void synchronise(ProjectState state, const std::vector<std::string>& events,
                     VelOS::CommandContext* context);

private:
    // Sends the events after those held back, or holds them too while the client of the command
    // has more commands waiting (see VelOS::CommandContext). Model lock held.
    void send(const std::vector<std::string>& events, VelOS::CommandContext* context);
    // Sends what is held back. Model lock held.
    void sendHeld();

    VelOS::Semaphore lock_{VelOS::LockRank::Model};
    ProjectState state_;                   // model lock
    std::set<ListenerChannel*> listeners_; // event receivers, not owned; model lock
    std::string held_;                     // event lines held back, in order; model lock
    std::set<std::string> moved_;          // actors whose transform the engine has not yet; model lock
    bool titleChanged_ = false;            // model lock
};
