#pragma once

#include "actors/ActorManager.h"
#include "actors/ActorServices.h"
#include "project/ActorKind.h"
#include "project/ActorTransform.h"
#include "project/ProjectModel.h"

#include <functional>
#include <map>
#include <string>

class EngineProject;
namespace VelOS {
class CommandContext;
}

// The project's actors in the engine and the operations of the protocol on them: the four kinds'
// creation, connection to trackers, transforms, selection, actions and the auxiliary views.
// Transforms are the project model's to change (on the caller's thread, answered at once); the
// engine follows at its next frame. Everything that makes, destroys or connects an actor runs as
// project work of the EngineProject that owns this. Serves the actors as their ActorServices.
//
// Main thread, but for the operations, which any thread calls (they hand their engine work to
// the main thread).
class ProjectActors : public ActorServices {
public:
    explicit ProjectActors(EngineProject& project) : project_(project) {}
    ProjectActors(const ProjectActors&) = delete;
    ProjectActors& operator=(const ProjectActors&) = delete;

    // Set-up: the scene the actors live in, the node they hang under, where file actors find
    // their files, and whether hand mode is on (pointer interaction's).
    void bind(Ogre::SceneManager* viewsScene, Ogre::SceneNode* mainNode, const std::string& workDirectory,
              TrackerManager* trackers);
    void setHandMode(std::function<bool()> handMode) { handMode_ = std::move(handMode); }

    // ActorServices (main thread)
    const std::string& getWorkDirectory() override { return workDirectory_; }
    bool isHandMode() override { return handMode_ && handMode_(); }
    Ogre::SceneNode* getMainNode() override { return mainNode_; }

    // The engine side (main thread, inside project work or the frame).
    ActorManager& manager() { return actors_; }
    Actor* selected() const { return selected_; }
    void setSelected(Actor* actor) { selected_ = actor; }
    // Gives the actors the transforms clients set in the model.
    void applyTransforms(const std::map<std::string, ActorTransform>& moved);
    // Writes the actors as the engine holds them into state.
    void publishInto(ProjectState& state);
    // Every actor, with its event.
    void destroyAll();

    // The operations (any thread).
    bool viewports(VelOS::CommandContext& context, const std::string& actorName, Ogre::Camera* top,
                   Ogre::Camera* front, Ogre::Camera* left, const std::function<bool()>& toggleLayout);
    void animations(const std::string& actorName, std::string& list);
    bool action(VelOS::CommandContext& context, const std::string& actorName, const std::string& keyword,
                const std::string& argument);
    bool selectAll(VelOS::CommandContext& context);
    bool unselectAll(VelOS::CommandContext& context);
    bool select(VelOS::CommandContext& context, const std::string& actorName);
    bool unselect(VelOS::CommandContext& context, const std::string& actorName);
    bool isSelected(VelOS::CommandContext& context, const std::string& actorName);
    bool createLight(VelOS::CommandContext& context, const std::string& name);
    bool createFile(VelOS::CommandContext& context, const std::string& name, const std::string& resource,
                    const std::string& fileName, const std::string& type);
    bool createMesh(VelOS::CommandContext& context, const std::string& name, const std::string& resource,
                    const std::string& meshName);
    bool createScene(VelOS::CommandContext& context, const std::string& name, const std::string& resource,
                     const std::string& sceneName);
    void destroy(VelOS::CommandContext& context, ActorKind kind, const std::string& name);
    // Every mesh and scene actor drawn from the resource's package, with their events: the
    // package's engine content goes with it. Inside project work.
    void destroyDrawnFrom(VelOS::CommandContext& context, const std::string& resource);
    void list(ActorKind kind, std::string& list);
    bool text(VelOS::CommandContext& context, ActorKind kind, ActorField field, const std::string& name,
              std::string& text);
    bool connect(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                 const std::string& trackerName);
    bool unconnect(VelOS::CommandContext& context, ActorKind kind, const std::string& name);
    bool translate(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double x,
                   double y, double z);
    bool translation(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& x,
                     double& y, double& z);
    bool rotate(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double w, double x,
                double y, double z);
    bool turn(VelOS::CommandContext& context, ActorKind kind, const std::string& name, TurnAxis axis,
              double degrees);
    bool rotation(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& w,
                  double& x, double& y, double& z);
    bool angles(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& pitch,
                double& yaw, double& roll);
    bool scale(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double x, double y,
               double z);
    bool scaleOf(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& x,
                 double& y, double& z);

private:
    Actor* find(ActorKind kind, const std::string& name);
    // Notes why an operation found no actor of that kind by that name.
    static void noteNoActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name);
    // Notes why making an actor failed: the name is taken, the file name has the wrong kind, the
    // resource or the file in its package is missing, or else what the engine said.
    void noteCreateFailure(VelOS::CommandContext& context, const std::string& name,
                           const std::string& resource, const std::string& fileName, const char* extension,
                           const std::string& engineReason);
    // Runs read on the model's actor of that kind; false when there is none.
    bool readActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                   const std::function<void(const ProjectState::Actor&)>& read);
    // Changes the transform of the model's actor of that kind; change sets the event and may
    // refuse the numbers. False when not found or refused.
    bool changeActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                     const std::function<bool(ActorTransform&, std::string& event)>& change);
    // Changes the orientation (mesh and scene actors), or refuses the numbers; the event carries
    // the angles.
    bool changeOrientation(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                           const std::function<bool(ActorTransform&)>& turn);
    // Makes an actor between frames and announces event, or notes why it failed (see
    // noteCreateFailure, with the file name's expected extension or null).
    bool create(VelOS::CommandContext& context, const std::string& name, const std::string& resource,
                const std::string& fileName, const char* extension,
                const std::function<Actor*(std::string* engineFailure)>& make, const std::string& event);

    EngineProject& project_;
    ActorManager actors_;                 // the actors; main thread
    Actor* selected_ = nullptr;           // last selected by name or by the pointer, not owned
    Ogre::SceneNode* mainNode_ = nullptr; // "MainNode", parent of every actor
    std::string workDirectory_;
    TrackerManager* trackers_ = nullptr; // the project's trackers, not owned
    std::function<bool()> handMode_;
};
