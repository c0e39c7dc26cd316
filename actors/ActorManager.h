#pragma once

#include "actors/FileActor.h"
#include "actors/LightActor.h"
#include "actors/MeshActor.h"
#include "actors/SceneActor.h"

#include <map>
#include <memory>
#include <set>
#include <string>

class ActorServices;
class TrackerManager;
namespace Ogre {
class Camera;
class SceneManager;
class SceneNode;
} // namespace Ogre

// Every actor of the project, in four maps by kind, keyed by the actor's project name (unique
// across the four maps, compared as bytes). Each map owns its actors; an actor leaves every
// tracker's listener set and the engine's scene before it is deleted.
//
// No lock of its own: only the main thread calls it, in project work and in the frame (the
// per-frame update).
class ActorManager {
public:
    ActorManager() = default;
    // Deletes what is left; the engine-side project empties it while the engine is still there.
    virtual ~ActorManager();
    ActorManager(const ActorManager&) = delete;
    ActorManager& operator=(const ActorManager&) = delete;

    // The views scene manager and the services the actors are made with; neither is owned.
    void bind(Ogre::SceneManager* sceneManager, ActorServices* services);
    // The trackers whose listener sets a deleted actor must leave; not owned.
    void bindTrackers(TrackerManager* trackers) { trackers_ = trackers; }

    // True when no map holds the name.
    bool isNameFree(const std::string& name) const;

    // Creation: null when unbound, when the file name is not of the kind (mesh: contains
    // ".mesh" or ".MESH"; scene: ".osm" or ".OSM"), when the name is taken, or when the actor's
    // init fails (the actor is deleted then, and engineFailure, when given, gets what the engine
    // said).
    FileActor* createFile(const std::string& name, const std::string& resource, const std::string& fileName,
                          const std::string& type, std::string* engineFailure = nullptr);
    MeshActor* createMesh(const std::string& name, const std::string& resource,
                          const std::string& meshFileName, std::string* engineFailure = nullptr);
    LightActor* createLight(const std::string& name, std::string* engineFailure = nullptr);
    SceneActor* createScene(const std::string& name, const std::string& resource,
                            const std::string& sceneFileName, std::string* engineFailure = nullptr);

    MeshActor* findMesh(const std::string& name) const;
    LightActor* findLight(const std::string& name) const;
    FileActor* findFile(const std::string& name) const;
    SceneActor* findScene(const std::string& name) const;
    // Any kind: meshes, then files, lights, scenes.
    Actor* find(const std::string& name) const;

    // Destroys the actor of that name whatever its kind (meshes, scenes, files, lights).
    void destroy(const std::string& name);
    // Each: false when the kind's map does not hold the name.
    bool destroyMesh(const std::string& name);
    bool destroyScene(const std::string& name);
    bool destroyFile(const std::string& name);
    bool destroyLight(const std::string& name);
    void destroyAll();

    // Once per frame: every actor's addTime (meshes, scenes, files, lights; each in name order),
    // then the node animations of the views scene manager.
    void update(float seconds);
    // True while something moves by itself from frame to frame: an actor playing its
    // animation, or an enabled animation of the views scene manager.
    bool isAnimating();
    void selectAll();
    void unselectAll();
    // False when no actor has the name; true otherwise, selected or not.
    bool select(const std::string& name);
    bool unselect(const std::string& name);
    bool isSelected(const std::string& name);
    // False when no actor has the name; an unknown keyword is ignored but still true.
    bool action(const std::string& name, const std::string& keyword, const std::string& argument);
    // Empty for an unknown name.
    void getAnimationNames(const std::string& name, std::set<std::string>& names);
    // Hangs the three auxiliary cameras on the actor's root node, taken off wherever they hung.
    // False when no actor has the name or the engine refuses (logged).
    bool attachViewCameras(const std::string& name, Ogre::Camera* top, Ogre::Camera* front,
                           Ogre::Camera* left);

    std::set<std::string> getMeshNames() const;
    std::set<std::string> getLightNames() const;
    std::set<std::string> getFileNames() const;
    std::set<std::string> getSceneNames() const;
    std::set<std::string> getAllNames() const;
    // The actor whose root or actor node this is; null for any other node.
    Actor* findByNode(Ogre::SceneNode* node) const;

private:
    template <class A> using ActorMap = std::map<std::string, std::unique_ptr<A>>;

    bool isBound() const { return sceneManager_ != nullptr && services_ != nullptr; }
    // Inserts an actor whose init succeeded; null (and the actor gone) otherwise.
    template <class A>
    A* keep(ActorMap<A>& map, const std::string& name, std::unique_ptr<A> actor, std::string* engineFailure);
    template <class A> bool destroyIn(ActorMap<A>& map, const std::string& name);
    template <class A> void destroyEvery(ActorMap<A>& map);
    // Takes the actor off every tracker, then out of the engine's scene; it is deleted after.
    void release(Actor& actor);
    // Calls work on every actor: meshes, scenes, files, lights.
    template <class Work> void forEach(Work work);

    Ogre::SceneManager* sceneManager_ = nullptr; // the views scene manager; not owned
    ActorServices* services_ = nullptr;          // not owned
    TrackerManager* trackers_ = nullptr;         // not owned; may stay null
    ActorMap<FileActor> files_;
    ActorMap<MeshActor> meshes_;
    ActorMap<LightActor> lights_;
    ActorMap<SceneActor> scenes_;
};
