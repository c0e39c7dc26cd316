#include "app/ProjectActors.h"

#include "actors/FileActor.h"
#include "actors/LightActor.h"
#include "actors/MeshActor.h"
#include "actors/SceneActor.h"
#include "app/EngineProject.h"
#include "project/Events.h"

#include <cctype>

namespace {

void noteNoActorNamed(VelOS::CommandContext& context, const std::string& name) {
    context.fail("no actor named \"" + name + "\"");
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

void ProjectActors::bind(Ogre::SceneManager* viewsScene, Ogre::SceneNode* mainNode,
                         const std::string& workDirectory, TrackerManager* trackers) {
    mainNode_ = mainNode;
    workDirectory_ = workDirectory;
    trackers_ = trackers;
    // A deleted actor first leaves its tracker.
    actors_.bind(viewsScene, this);
    actors_.bindTrackers(trackers);
}

void ProjectActors::applyTransforms(const std::map<std::string, ActorTransform>& moved) {
    for (const auto& [name, transform] : moved) {
        if (Actor* actor = actors_.find(name)) {
            actor->setTransform(transform);
        }
    }
}

void ProjectActors::publishInto(ProjectState& state) {
    using Kind = ProjectState::Kind;
    for (Kind kind : {Kind::Light, Kind::File, Kind::Mesh, Kind::Scene}) {
        const std::set<std::string> names = kind == Kind::Light  ? actors_.getLightNames()
                                            : kind == Kind::File ? actors_.getFileNames()
                                            : kind == Kind::Mesh ? actors_.getMeshNames()
                                                                 : actors_.getSceneNames();
        for (const std::string& name : names) {
            Actor* actor = find(kind, name);
            if (actor == nullptr) {
                continue;
            }
            ProjectState::Actor& record = state.actors[name];
            record.kind = kind;
            record.tracker = actor->getTrackerName();
            record.selected = actor->isSelected();
            record.transform = actor->getTransform();
            actor->getAnimationNames(record.animations);
            switch (kind) {
            case Kind::Light:
                record.source = static_cast<LightActor*>(actor)->getLightName();
                break;
            case Kind::File:
                record.resource = static_cast<FileActor*>(actor)->getResourceName();
                record.source = static_cast<FileActor*>(actor)->getFileName();
                record.type = static_cast<FileActor*>(actor)->getType();
                break;
            case Kind::Mesh:
                record.resource = static_cast<MeshActor*>(actor)->getResourceName();
                record.source = static_cast<MeshActor*>(actor)->getMeshName();
                break;
            case Kind::Scene:
                record.resource = static_cast<SceneActor*>(actor)->getResourceName();
                record.source = static_cast<SceneActor*>(actor)->getSceneName();
                break;
            }
        }
    }
}

void ProjectActors::destroyAll() {
    actors_.destroyAll();
    selected_ = nullptr;
}

Actor* ProjectActors::find(ActorKind kind, const std::string& name) {
    switch (kind) {
    case ActorKind::Light:
        return actors_.findLight(name);
    case ActorKind::File:
        return actors_.findFile(name);
    case ActorKind::Mesh:
        return actors_.findMesh(name);
    case ActorKind::Scene:
        break;
    }
    return actors_.findScene(name);
}

// ---------------------------------------------------------------- actors in general

bool ProjectActors::viewports(VelOS::CommandContext& context, const std::string& actorName, Ogre::Camera* top,
                              Ogre::Camera* front, Ogre::Camera* left,
                              const std::function<bool()>& toggleLayout) {
    project_.inProject(&context, [&] {
        if (toggleLayout()) {
            actors_.attachViewCameras(actorName, top, front, left);
        }
        project_.announce(Events::actorsViewports(actorName));
    });
    return true;
}

void ProjectActors::animations(const std::string& actorName, std::string& list) {
    project_.readProject([&](const ProjectState& state) {
        const auto actor = state.actors.find(actorName);
        list = Events::listText(actor != state.actors.end() ? actor->second.animations
                                                            : std::set<std::string>());
    });
}

bool ProjectActors::action(VelOS::CommandContext& context, const std::string& actorName,
                           const std::string& keyword, const std::string& argument) {
    bool found = false;
    project_.inProject(&context, [&] { found = actors_.action(actorName, keyword, argument); });
    if (!found) {
        noteNoActorNamed(context, actorName);
    }
    return found;
}

bool ProjectActors::selectAll(VelOS::CommandContext& context) {
    project_.inProject(&context, [&] {
        actors_.selectAll();
        project_.announce(Events::actorsAllSelected());
    });
    return true;
}

bool ProjectActors::unselectAll(VelOS::CommandContext& context) {
    project_.inProject(&context, [&] {
        actors_.unselectAll();
        project_.announce(Events::actorsAllUnselected());
    });
    return true;
}

bool ProjectActors::select(VelOS::CommandContext& context, const std::string& actorName) {
    bool selected = false;
    project_.inProject(&context, [&] {
        if (selected_ != nullptr) {
            selected_->unselect();
        }
        selected_ = actors_.find(actorName);
        selected = actors_.select(actorName);
        if (selected) {
            project_.announce(Events::actorSelected(actorName));
        }
    });
    if (!selected) {
        noteNoActorNamed(context, actorName);
    }
    return selected;
}

bool ProjectActors::unselect(VelOS::CommandContext& context, const std::string& actorName) {
    bool unselected = false;
    project_.inProject(&context, [&] {
        selected_ = nullptr;
        unselected = actors_.unselect(actorName);
        if (unselected) {
            project_.announce(Events::actorUnselected(actorName));
        }
    });
    if (!unselected) {
        noteNoActorNamed(context, actorName);
    }
    return unselected;
}

bool ProjectActors::isSelected(VelOS::CommandContext& context, const std::string& actorName) {
    bool selected = false;
    project_.readProject([&](const ProjectState& state) {
        const auto actor = state.actors.find(actorName);
        selected = actor != state.actors.end() && actor->second.selected;
        // "fail" is this command's "no": its line says which.
        if (actor == state.actors.end()) {
            noteNoActorNamed(context, actorName);
        } else if (!selected) {
            context.fail("not selected");
        }
    });
    return selected;
}

// ---------------------------------------------------------------- shared steps

bool ProjectActors::readActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                              const std::function<void(const ProjectState::Actor&)>& read) {
    bool found = false;
    project_.readProject([&](const ProjectState& state) {
        if (const ProjectState::Actor* actor = state.findActor(kind, name)) {
            read(*actor);
            found = true;
        } else {
            noteNoActor(context, kind, name);
        }
    });
    return found;
}

bool ProjectActors::changeActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                                const std::function<bool(ActorTransform&, std::string& event)>& change) {
    // A transform is the model's to change: the reply and the event do not wait for the render
    // loop, which gives the actor its new transform at the next frame.
    bool changed = false;
    ProjectModel& model = project_.model();
    model.change(&context, [&](ProjectState& state, std::vector<std::string>& events) {
        ProjectState::Actor* actor = state.findActor(kind, name);
        if (actor == nullptr) {
            noteNoActor(context, kind, name);
            return;
        }
        ActorTransform transform = actor->transform;
        std::string event;
        if (!change(transform, event)) {
            context.fail(
                "a number is not finite or beyond single precision (3.4e38), or the rotation has no length");
            return;
        }
        actor->transform = transform;
        model.markMoved(name);
        events.push_back(event);
        changed = true;
    });
    if (changed) {
        project_.requestRedraw(&context);
    }
    return changed;
}

void ProjectActors::noteNoActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name) {
    context.fail(std::string("no ") + actorKindWord(kind) + " actor named \"" + name + "\"");
}

void ProjectActors::noteCreateFailure(VelOS::CommandContext& context, const std::string& name,
                                      const std::string& resource, const std::string& fileName,
                                      const char* extension, const std::string& engineReason) {
    ResourceManager& resources = project_.resources();
    if (actors_.find(name) != nullptr) {
        context.fail("an actor named \"" + name + "\" exists");
    } else if (extension != nullptr && lowerCase(fileName).find(extension) == std::string::npos) {
        context.fail("\"" + fileName + "\" is not a " + extension + " file");
    } else if (!resources.getList().count(resource)) {
        context.fail("no resource named \"" + resource + "\"");
    } else if (!resources.getFilesInside(resource).count(resource + "_" + fileName)) {
        context.fail("\"" + fileName + "\" is not in the package of \"" + resource + "\"");
    } else {
        context.fail(engineReason.empty() ? "the engine refused it (see the lines above)" : engineReason);
    }
}

// ---------------------------------------------------------------- the actor blocks

bool ProjectActors::create(VelOS::CommandContext& context, const std::string& name,
                           const std::string& resource, const std::string& fileName, const char* extension,
                           const std::function<Actor*(std::string* engineFailure)>& make,
                           const std::string& event) {
    bool created = false;
    project_.inProject(&context, [&] {
        std::string engineFailure;
        created = make(&engineFailure) != nullptr;
        if (!created) {
            noteCreateFailure(context, name, resource, fileName, extension, engineFailure);
            return;
        }
        project_.announce(event);
    });
    return created;
}

bool ProjectActors::createLight(VelOS::CommandContext& context, const std::string& name) {
    return create(
        context, name, std::string(), std::string(), nullptr,
        [&](std::string* why) { return actors_.createLight(name, why); }, Events::lightCreated(name));
}

bool ProjectActors::createFile(VelOS::CommandContext& context, const std::string& name,
                               const std::string& resource, const std::string& fileName,
                               const std::string& type) {
    return create(
        context, name, resource, fileName, nullptr,
        [&](std::string* why) { return actors_.createFile(name, resource, fileName, type, why); },
        Events::fileCreated(name, resource, fileName, type));
}

bool ProjectActors::createMesh(VelOS::CommandContext& context, const std::string& name,
                               const std::string& resource, const std::string& meshName) {
    return create(
        context, name, resource, meshName, ".mesh",
        [&](std::string* why) { return actors_.createMesh(name, resource, meshName, why); },
        Events::meshCreated(name, resource, meshName));
}

bool ProjectActors::createScene(VelOS::CommandContext& context, const std::string& name,
                                const std::string& resource, const std::string& sceneName) {
    return create(
        context, name, resource, sceneName, ".osm",
        [&](std::string* why) { return actors_.createScene(name, resource, sceneName, why); },
        Events::sceneCreated(name, resource, sceneName));
}

void ProjectActors::destroy(VelOS::CommandContext& context, ActorKind kind, const std::string& name) {
    project_.inProject(&context, [&] {
        unconnect(context, kind, name);
        Actor* actor = actors_.find(name);
        if (selected_ != nullptr && actor == selected_) {
            selected_->unselect();
            selected_ = nullptr;
        }
        // Whatever kind holds the name; the actor leaves its tracker before it goes.
        actors_.destroy(name);
        project_.announce(Events::actorDestroyed(actorKindWord(kind), name));
    });
}

void ProjectActors::destroyDrawnFrom(VelOS::CommandContext& context, const std::string& resource) {
    for (const std::string& mesh : actors_.getMeshNames()) {
        if (actors_.findMesh(mesh)->getResourceName() == resource) {
            destroy(context, ActorKind::Mesh, mesh);
        }
    }
    for (const std::string& scene : actors_.getSceneNames()) {
        if (actors_.findScene(scene)->getResourceName() == resource) {
            destroy(context, ActorKind::Scene, scene);
        }
    }
}

void ProjectActors::list(ActorKind kind, std::string& list) {
    project_.readProject([&](const ProjectState& state) { list = Events::listText(state.actorNames(kind)); });
}

bool ProjectActors::text(VelOS::CommandContext& context, ActorKind kind, ActorField field,
                         const std::string& name, std::string& text) {
    return readActor(context, kind, name, [&](const ProjectState::Actor& actor) {
        switch (field) {
        case ActorField::Tracker:
            text = actor.tracker;
            break;
        case ActorField::Resource:
            text = actor.resource;
            break;
        case ActorField::Source:
            text = actor.source;
            break;
        case ActorField::Type:
            text = actor.type;
            break;
        }
    });
}

bool ProjectActors::connect(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                            const std::string& trackerName) {
    bool connected = false;
    project_.inProject(&context, [&] {
        Tracker* tracker = trackers_->find(trackerName);
        Actor* actor = find(kind, name);
        if (actor == nullptr) {
            noteNoActor(context, kind, name);
            return;
        }
        if (tracker == nullptr) {
            context.fail("no tracker named \"" + trackerName + "\"");
            return;
        }
        if (Tracker* previous = trackers_->find(actor->getTrackerName())) {
            previous->removeListener(actor);
        }
        tracker->addListener(actor);
        actor->setTrackerName(trackerName);
        connected = true;
        project_.announce(Events::actorConnected(actorKindWord(kind), name, trackerName));
    });
    return connected;
}

bool ProjectActors::unconnect(VelOS::CommandContext& context, ActorKind kind, const std::string& name) {
    bool unconnected = false;
    project_.inProject(&context, [&] {
        Actor* actor = find(kind, name);
        if (actor == nullptr) {
            noteNoActor(context, kind, name);
            return;
        }
        if (Tracker* tracker = trackers_->find(actor->getTrackerName())) {
            tracker->removeListener(actor);
        }
        actor->setTrackerName(std::string());
        unconnected = true;
        project_.announce(Events::actorUnconnected(actorKindWord(kind), name));
    });
    return unconnected;
}

bool ProjectActors::translate(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                              double x, double y, double z) {
    return changeActor(context, kind, name, [&](ActorTransform& transform, std::string& event) {
        event = Events::actorTranslated(actorKindWord(kind), name, x, y, z);
        return transform.setPosition(x, y, z);
    });
}

bool ProjectActors::translation(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                                double& x, double& y, double& z) {
    return readActor(context, kind, name, [&](const ProjectState::Actor& actor) {
        x = actor.transform.position().x;
        y = actor.transform.position().y;
        z = actor.transform.position().z;
    });
}

bool ProjectActors::changeOrientation(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                                      const std::function<bool(ActorTransform&)>& turn) {
    return changeActor(context, kind, name, [&](ActorTransform& transform, std::string& event) {
        if (!turn(transform)) {
            return false;
        }
        event = Events::actorRotated(actorKindWord(kind), name, transform.pitchDegrees(),
                                     transform.yawDegrees(), transform.rollDegrees());
        return true;
    });
}

bool ProjectActors::rotate(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double w,
                           double x, double y, double z) {
    return changeOrientation(context, kind, name,
                             [&](ActorTransform& transform) { return transform.setOrientation(w, x, y, z); });
}

bool ProjectActors::turn(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                         TurnAxis axis, double degrees) {
    return changeOrientation(context, kind, name, [&](ActorTransform& transform) {
        switch (axis) {
        case TurnAxis::Pitch:
            return transform.pitch(degrees);
        case TurnAxis::Yaw:
            return transform.yaw(degrees);
        case TurnAxis::Roll:
            break;
        }
        return transform.roll(degrees);
    });
}

bool ProjectActors::rotation(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                             double& w, double& x, double& y, double& z) {
    return readActor(context, kind, name, [&](const ProjectState::Actor& actor) {
        w = actor.transform.orientation().w;
        x = actor.transform.orientation().x;
        y = actor.transform.orientation().y;
        z = actor.transform.orientation().z;
    });
}

bool ProjectActors::angles(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                           double& pitch, double& yaw, double& roll) {
    return readActor(context, kind, name, [&](const ProjectState::Actor& actor) {
        pitch = actor.transform.pitchDegrees();
        yaw = actor.transform.yawDegrees();
        roll = actor.transform.rollDegrees();
    });
}

bool ProjectActors::scale(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double x,
                          double y, double z) {
    return changeActor(context, kind, name, [&](ActorTransform& transform, std::string& event) {
        event = Events::actorScaled(actorKindWord(kind), name, x, y, z);
        return transform.setScale(x, y, z);
    });
}

bool ProjectActors::scaleOf(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                            double& x, double& y, double& z) {
    return readActor(context, kind, name, [&](const ProjectState::Actor& actor) {
        x = actor.transform.scale().x;
        y = actor.transform.scale().y;
        z = actor.transform.scale().z;
    });
}
