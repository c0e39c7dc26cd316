#include "project/ProjectModel.h"

#include "project/ListenerChannel.h"

std::set<std::string> ProjectState::actorNames(Kind kind) const {
    std::set<std::string> names;
    for (const auto& [name, actor] : actors) {
        if (actor.kind == kind) {
            names.insert(name);
        }
    }
    return names;
}

const ProjectState::Actor* ProjectState::findActor(Kind kind, const std::string& name) const {
    const auto found = actors.find(name);
    return found != actors.end() && found->second.kind == kind ? &found->second : nullptr;
}

ProjectState::Actor* ProjectState::findActor(Kind kind, const std::string& name) {
    const auto found = actors.find(name);
    return found != actors.end() && found->second.kind == kind ? &found->second : nullptr;
}

void ProjectModel::read(const std::function<void(const ProjectState&)>& read) {
    VelOS::SemaphoreLock hold(lock_);
    read(state_);
}

void ProjectModel::change(VelOS::CommandContext* context,
                          const std::function<void(ProjectState&, std::vector<std::string>&)>& change) {
    std::vector<std::string> events;
    VelOS::SemaphoreLock hold(lock_);
    change(state_, events);
    send(events, context);
}

void ProjectModel::send(const std::vector<std::string>& events, VelOS::CommandContext* context) {
    if (events.empty() || listeners_.empty()) {
        sendHeld();
        return;
    }
    for (const std::string& event : events) {
        held_ += event;
        held_ += '\n';
    }
    if (context != nullptr && context->commandsWaiting()) {
        context->holdUntilBatchEnds([this] {
            VelOS::SemaphoreLock hold(lock_);
            sendHeld();
        });
        return;
    }
    sendHeld();
}

void ProjectModel::sendHeld() {
    if (held_.empty()) {
        return;
    }
    for (ListenerChannel* listener : listeners_) {
        listener->sendLine(held_);
    }
    held_.clear();
}

void ProjectModel::addListener(ListenerChannel* listener) {
    VelOS::SemaphoreLock hold(lock_);
    sendHeld(); // a new listener hears only what happens from now on
    listeners_.insert(listener);
}

void ProjectModel::removeListener(ListenerChannel* listener) {
    VelOS::SemaphoreLock hold(lock_);
    sendHeld();
    listeners_.erase(listener);
}

std::map<std::string, ActorTransform> ProjectModel::takeMoved(bool* titleChanged, std::string* title) {
    VelOS::SemaphoreLock hold(lock_);
    std::map<std::string, ActorTransform> moved;
    for (const std::string& name : moved_) {
        const auto found = state_.actors.find(name);
        if (found != state_.actors.end()) {
            moved.emplace(name, found->second.transform);
        }
    }
    moved_.clear();
    *titleChanged = titleChanged_;
    titleChanged_ = false;
    *title = state_.title;
    return moved;
}

void ProjectModel::synchronise(ProjectState state, const std::vector<std::string>& events,
                               VelOS::CommandContext* context) {
    VelOS::SemaphoreLock hold(lock_);
    for (const std::string& name : moved_) {
        const auto newer = state_.actors.find(name);
        const auto engine = state.actors.find(name);
        if (newer != state_.actors.end() && engine != state.actors.end()) {
            engine->second.transform = newer->second.transform;
        }
    }
    if (titleChanged_) {
        state.title = state_.title;
    }
    state_ = std::move(state);
    send(events, context);
}
