#pragma once

#include "app/MainThreadQueue.h"
#include "app/ProjectActors.h"
#include "app/StatusLine.h"
#include "net/ServerPolicy.h"
#include "project/ProjectInventory.h"
#include "project/ProjectModel.h"
#include "project/ProjectOperations.h"
#include "project/TrackerManager.h"
#include "resources/ResourceManager.h"
#include "resources/ResourceServices.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class CameraBackground;
class ConnectionHandlerFactory;
class FramePacing;
class PackageUnpacker;
class ViewLayout;
namespace VelNet {
class Server;
}

// The project in the engine: the resources, trackers and actors the engine draws, and the 101
// operations of the protocol over them, each published to the project model with its events.
//
// Threads: the operations are called from connection threads (and from the main thread for the
// start-up command file). Reads and transform or title changes are answered by the model on the
// caller's thread; every operation that makes or destroys engine objects runs on the main thread
// between two frames as one task (inProject), compound operations included (a resource destroyed
// with its actors, the destroy-all operations, project new and load), so that no other client's
// command lands in the middle. Everything else here is the main thread's.
class EngineProject : public ProjectOperations, public ProjectInventory, public ResourceServices {
public:
    EngineProject(MainThreadQueue& tasks, ProjectModel& model, FramePacing& pacing, CameraBackground& camera,
                  ViewLayout& views);
    ~EngineProject() override;
    EngineProject(const EngineProject&) = delete;
    EngineProject& operator=(const EngineProject&) = delete;

    // Set-up, main thread: the work directory, the scene the actors and packages load into and
    // the node every actor hangs under; makes the built-in resource "Nothing" and publishes the
    // first state. Clients read the project from then on.
    void setup(const std::string& workDirectory, Ogre::SceneManager* viewsScene, Ogre::SceneNode* mainNode);
    // Who may connect to the servers net init starts, and what serves their connections.
    void setServer(VelNet::ServerPolicy policy, ConnectionHandlerFactory& handlers);
    // Pointer interaction: where "project.mouse.action" goes, and whether hand mode is on.
    void setInteraction(std::function<void(const std::string&)> mouseAction, std::function<bool()> handMode);
    // Stops the server (connections end); main thread, at the end.
    void stopServer();
    // Destroys the actors, trackers and packages while the engine is still there.
    void teardown();

    // Once a frame, main thread: the changes clients made in the model go to the engine, the
    // actors and trackers step on. True while something moves.
    bool updateFrame(float frameTime);
    // The status line's facts of the project: markers found, trackers, the remote control.
    void statusFacts(StatusFacts& facts);
    const std::string& title() const { return title_; }
    ProjectActors& actors() { return actors_; }
    TrackerManager& trackers() { return trackers_; }
    ResourceManager& resources() { return resources_; }
    ProjectModel& model() { return model_; }

    // Runs work on the main thread between two frames, after the changes clients made in the
    // model; then brings the model up to date and sends the events the work announced, held in
    // the command's batch (context) when its client has more commands waiting. Work called from
    // inside other work runs at once, in the same task. False when the player is shutting down
    // and the work did not run.
    bool inProject(VelOS::CommandContext* context, const std::function<void()>& work);
    // Inside inProject: the event goes out with the model's update at the end of the work.
    void announce(const std::string& event) { outbox_.push_back(event); }
    // Runs read on the model's state under the model lock, on the calling thread.
    void readProject(const std::function<void(const ProjectState&)>& read) { model_.read(read); }
    // Asks for a drawing once the command's reply is written.
    void requestRedraw(VelOS::CommandContext* context);

    // ResourceServices
    const std::string& getWorkDirectory() override { return workDirectory_; }

    // ProjectOperations
    bool newProject(VelOS::CommandContext& context) override;
    bool load(VelOS::CommandContext& context, const std::string& path) override;
    bool save(VelOS::CommandContext& context, const std::string& path) override;
    bool netInit(VelOS::CommandContext& context, int port) override;
    void netDone(VelOS::CommandContext& context) override;
    bool setTitle(VelOS::CommandContext& context, const std::string& title) override;
    bool getTitle(VelOS::CommandContext& context, std::string& title) override;
    bool mouseAction(VelOS::CommandContext& context, const std::string& keyword) override;
    void debugShow(VelOS::CommandContext& context) override;
    void debugHide(VelOS::CommandContext& context) override;
    bool debugIsVisible(VelOS::CommandContext& context) override;
    bool videoCaptureInit(VelOS::CommandContext& context, const std::string& device,
                          const std::string& configuration) override;
    void videoCaptureDone(VelOS::CommandContext& context) override;
    bool isCapturing(VelOS::CommandContext& context) override;
    bool getDeviceName(VelOS::CommandContext& context, std::string& name) override;
    bool getConfiguration(VelOS::CommandContext& context, std::string& configuration) override;
    void flipXSet(VelOS::CommandContext& context) override;
    void flipXUnset(VelOS::CommandContext& context) override;
    bool flipXGet(VelOS::CommandContext& context) override;
    void flipYSet(VelOS::CommandContext& context) override;
    void flipYUnset(VelOS::CommandContext& context) override;
    bool flipYGet(VelOS::CommandContext& context) override;
    void thresholdAuto(VelOS::CommandContext& context) override;
    void thresholdManual(VelOS::CommandContext& context, int value) override;
    void thresholdManual(VelOS::CommandContext& context) override;
    bool thresholdIsAuto(VelOS::CommandContext& context) override;
    bool thresholdGetValue(VelOS::CommandContext& context, int& value) override;
    bool resourceCreate(VelOS::CommandContext& context, const std::string& name,
                        const std::string& packagePath) override;
    void resourceDestroy(VelOS::CommandContext& context, const std::string& name) override;
    void resourceGetList(VelOS::CommandContext& context, std::string& list) override;
    void resourceGetFilesInside(VelOS::CommandContext& context, const std::string& name,
                                std::string& list) override;
    bool resourceGetFilename(VelOS::CommandContext& context, const std::string& name,
                             std::string& fileName) override;
    bool trackerCreate(VelOS::CommandContext& context, const std::string& name,
                       const std::string& patternFile, int width) override;
    void trackerDestroy(VelOS::CommandContext& context, const std::string& name) override;
    void trackerGetList(VelOS::CommandContext& context, std::string& list) override;
    bool trackerGetPatternFilename(VelOS::CommandContext& context, const std::string& name,
                                   std::string& patternFile) override;
    bool trackerGetWidth(VelOS::CommandContext& context, const std::string& name, int& width) override;
    // The actors' operations are ProjectActors'.
    bool actorsViewports(VelOS::CommandContext& context, const std::string& actorName) override;
    void actorGetAnimationsList(VelOS::CommandContext&, const std::string& actorName,
                                std::string& list) override {
        actors_.animations(actorName, list);
    }
    bool actorAction(VelOS::CommandContext& context, const std::string& actorName, const std::string& keyword,
                     const std::string& argument) override {
        return actors_.action(context, actorName, keyword, argument);
    }
    bool actorsSelectAll(VelOS::CommandContext& context) override { return actors_.selectAll(context); }
    bool actorsUnselectAll(VelOS::CommandContext& context) override { return actors_.unselectAll(context); }
    bool actorSelect(VelOS::CommandContext& context, const std::string& actorName) override {
        return actors_.select(context, actorName);
    }
    bool actorUnselect(VelOS::CommandContext& context, const std::string& actorName) override {
        return actors_.unselect(context, actorName);
    }
    bool actorIsSelected(VelOS::CommandContext& context, const std::string& actorName) override {
        return actors_.isSelected(context, actorName);
    }
    bool lightCreate(VelOS::CommandContext& context, const std::string& name) override {
        return actors_.createLight(context, name);
    }
    bool fileCreate(VelOS::CommandContext& context, const std::string& name, const std::string& resource,
                    const std::string& fileName, const std::string& type) override {
        return actors_.createFile(context, name, resource, fileName, type);
    }
    bool meshCreate(VelOS::CommandContext& context, const std::string& name, const std::string& resource,
                    const std::string& meshName) override {
        return actors_.createMesh(context, name, resource, meshName);
    }
    bool sceneCreate(VelOS::CommandContext& context, const std::string& name, const std::string& resource,
                     const std::string& sceneName) override {
        return actors_.createScene(context, name, resource, sceneName);
    }
    void destroyActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name) override {
        actors_.destroy(context, kind, name);
    }
    void actorList(VelOS::CommandContext&, ActorKind kind, std::string& list) override {
        actors_.list(kind, list);
    }
    bool actorText(VelOS::CommandContext& context, ActorKind kind, ActorField field, const std::string& name,
                   std::string& text) override {
        return actors_.text(context, kind, field, name, text);
    }
    bool connectActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                      const std::string& trackerName) override {
        return actors_.connect(context, kind, name, trackerName);
    }
    bool unconnectActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name) override {
        return actors_.unconnect(context, kind, name);
    }
    bool translateActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double x,
                        double y, double z) override {
        return actors_.translate(context, kind, name, x, y, z);
    }
    bool actorTranslation(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& x,
                          double& y, double& z) override {
        return actors_.translation(context, kind, name, x, y, z);
    }
    bool rotateActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double w,
                     double x, double y, double z) override {
        return actors_.rotate(context, kind, name, w, x, y, z);
    }
    bool turnActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name, TurnAxis axis,
                   double degrees) override {
        return actors_.turn(context, kind, name, axis, degrees);
    }
    bool actorRotation(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& w,
                       double& x, double& y, double& z) override {
        return actors_.rotation(context, kind, name, w, x, y, z);
    }
    bool actorAngles(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& pitch,
                     double& yaw, double& roll) override {
        return actors_.angles(context, kind, name, pitch, yaw, roll);
    }
    bool scaleActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double x,
                    double y, double z) override {
        return actors_.scale(context, kind, name, x, y, z);
    }
    bool actorScale(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double& x,
                    double& y, double& z) override {
        return actors_.scaleOf(context, kind, name, x, y, z);
    }

    // ProjectInventory
    void destroyAllResources(VelOS::CommandContext& context) override;
    void destroyAllTrackers(VelOS::CommandContext& context) override;
    void destroyAllActors(VelOS::CommandContext& context) override;
    void getResourceNames(std::set<std::string>& names) override;
    void getTrackerNames(std::set<std::string>& names) override;
    void getLightNames(std::set<std::string>& names) override;
    void getFileNames(std::set<std::string>& names) override;
    void getMeshNames(std::set<std::string>& names) override;
    void getSceneNames(std::set<std::string>& names) override;

private:
    // Gives the actors the transforms and the window the title clients set in the model.
    void applyClientChanges();
    // Replaces the model's state with the engine side's and sends the announced events.
    void publish(VelOS::CommandContext* context);
    // Runs read on the model's tracker by that name; false, with the reason noted, when none.
    bool readTracker(VelOS::CommandContext& context, const std::string& name,
                     const std::function<void(const ProjectState::Tracker&)>& read);
    // Makes a resource from a package unpacked beforehand. Inside inProject.
    bool createResource(VelOS::CommandContext& context, const std::string& name,
                        const std::string& packagePath, const PackageUnpacker& unpacked);
    // The flips and threshold commands: change the camera, announce the events.
    void changeCamera(VelOS::CommandContext& context, const std::function<void()>& change,
                      std::initializer_list<std::string> events);

    MainThreadQueue& tasks_;
    ProjectModel& model_; // what clients read and change; its own lock
    FramePacing& pacing_;
    CameraBackground& camera_;
    ViewLayout& views_;
    std::string workDirectory_;       // ends in "/"; empty until set-up
    ResourceManager resources_;       // the project's packages
    TrackerManager trackers_;         // the project's trackers
    ProjectActors actors_;            // the project's actors and the selection
    std::string title_;               // the title the debug overlay shows
    std::vector<std::string> outbox_; // events announced by the project work running now
    int depth_ = 0;                   // project work running now, nested
    // Counts project.new and project.load: a package unpacked for an earlier project is not
    // added to a later one. Any thread.
    std::atomic<std::uint64_t> generation_{0};
    // Packages a load unpacked before its task began, by package path; only during that task.
    const std::map<std::string, std::unique_ptr<PackageUnpacker>>* prepared_ = nullptr;

    VelNet::ServerPolicy serverPolicy_;                   // given to every server net init makes
    ConnectionHandlerFactory* handlers_ = nullptr;        // serves every server's connections; not owned
    std::unique_ptr<VelNet::Server> server_;              // made by net init
    std::string netFailure_;                              // why the remote control is not listening
    std::function<void(const std::string&)> mouseAction_; // pointer interaction's modes
};
