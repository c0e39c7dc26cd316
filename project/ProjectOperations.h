#pragma once

#include "platform/CommandContext.h"
#include "project/ActorKind.h"

#include <string>

// The operations of the project, in their fixed interface order, called by the command
// interpreter (one per command) and by the project document. The four actor kinds' blocks are one
// set of operations over the kind, so that each is written once. Reads, and transform or title
// changes, are the project model's (its own lock, on the caller's thread); operations that make or
// destroy engine objects run on the main thread between two frames, each as one task. Events go
// out through the project model, in one sequence. Every operation gets the context of the command
// it serves: it notes its failure reason there, and its events may wait there for the end of the
// client's batch. Called from connection threads, and from the main thread for the start-up
// command file. "out" parameters are only written on success.
class ProjectOperations {
public:
    virtual ~ProjectOperations() = default;

    // Project and server
    virtual bool newProject(VelOS::CommandContext& context) = 0;                              // 0
    virtual bool load(VelOS::CommandContext& context, const std::string& path) = 0;           // 1
    virtual bool save(VelOS::CommandContext& context, const std::string& path) = 0;           // 2
    virtual bool netInit(VelOS::CommandContext& context, int port) = 0;                       // 3
    virtual void netDone(VelOS::CommandContext& context) = 0;                                 // 4
    virtual bool setTitle(VelOS::CommandContext& context, const std::string& title) = 0;      // 5
    virtual bool getTitle(VelOS::CommandContext& context, std::string& title) = 0;            // 6 out title
    virtual bool mouseAction(VelOS::CommandContext& context, const std::string& keyword) = 0; // 7

    // Debug overlay
    virtual void debugShow(VelOS::CommandContext& context) = 0;      // 8
    virtual void debugHide(VelOS::CommandContext& context) = 0;      // 9
    virtual bool debugIsVisible(VelOS::CommandContext& context) = 0; // 10

    // Video capture and tracking threshold
    virtual bool videoCaptureInit(VelOS::CommandContext& context, const std::string& device,
                                  const std::string& configuration) = 0;                           // 11
    virtual void videoCaptureDone(VelOS::CommandContext& context) = 0;                             // 12
    virtual bool isCapturing(VelOS::CommandContext& context) = 0;                                  // 13
    virtual bool getDeviceName(VelOS::CommandContext& context, std::string& name) = 0;             // 14
    virtual bool getConfiguration(VelOS::CommandContext& context, std::string& configuration) = 0; // 15
    virtual void flipXSet(VelOS::CommandContext& context) = 0;                                     // 16
    virtual void flipXUnset(VelOS::CommandContext& context) = 0;                                   // 17
    virtual bool flipXGet(VelOS::CommandContext& context) = 0;                                     // 18
    virtual void flipYSet(VelOS::CommandContext& context) = 0;                                     // 19
    virtual void flipYUnset(VelOS::CommandContext& context) = 0;                                   // 20
    virtual bool flipYGet(VelOS::CommandContext& context) = 0;                                     // 21
    virtual void thresholdAuto(VelOS::CommandContext& context) = 0;                                // 22
    virtual void thresholdManual(VelOS::CommandContext& context, int value) = 0;                   // 23
    virtual void thresholdManual(VelOS::CommandContext& context) = 0;               // 24 keeps the value
    virtual bool thresholdIsAuto(VelOS::CommandContext& context) = 0;               // 25
    virtual bool thresholdGetValue(VelOS::CommandContext& context, int& value) = 0; // 26

    // Resources
    virtual bool resourceCreate(VelOS::CommandContext& context, const std::string& name,
                                const std::string& packagePath) = 0;                           // 27
    virtual void resourceDestroy(VelOS::CommandContext& context, const std::string& name) = 0; // 28
    virtual void resourceGetList(VelOS::CommandContext& context, std::string& list) = 0;       // 29
    virtual void resourceGetFilesInside(VelOS::CommandContext& context, const std::string& name,
                                        std::string& list) = 0; // 30
    virtual bool resourceGetFilename(VelOS::CommandContext& context, const std::string& name,
                                     std::string& fileName) = 0; // 31

    // Trackers
    virtual bool trackerCreate(VelOS::CommandContext& context, const std::string& name,
                               const std::string& patternFile, int width) = 0;                // 32
    virtual void trackerDestroy(VelOS::CommandContext& context, const std::string& name) = 0; // 33
    virtual void trackerGetList(VelOS::CommandContext& context, std::string& list) = 0;       // 34
    virtual bool trackerGetPatternFilename(VelOS::CommandContext& context, const std::string& name,
                                           std::string& patternFile) = 0; // 35
    virtual bool trackerGetWidth(VelOS::CommandContext& context, const std::string& name,
                                 int& width) = 0; // 36

    // Actors in general
    virtual bool actorsViewports(VelOS::CommandContext& context, const std::string& actorName) = 0; // 37
    virtual void actorGetAnimationsList(VelOS::CommandContext& context, const std::string& actorName,
                                        std::string& list) = 0; // 38
    virtual bool actorAction(VelOS::CommandContext& context, const std::string& actorName,
                             const std::string& keyword,
                             const std::string& argument) = 0;                                      // 39
    virtual bool actorsSelectAll(VelOS::CommandContext& context) = 0;                               // 40
    virtual bool actorsUnselectAll(VelOS::CommandContext& context) = 0;                             // 41
    virtual bool actorSelect(VelOS::CommandContext& context, const std::string& actorName) = 0;     // 42
    virtual bool actorUnselect(VelOS::CommandContext& context, const std::string& actorName) = 0;   // 43
    virtual bool actorIsSelected(VelOS::CommandContext& context, const std::string& actorName) = 0; // 44

    // The actor blocks (45 to 100): each kind's create, then one operation over the kind for what
    // every kind does, in block order. Light and file actors have no rotate, pitch, yaw, roll,
    // getRotation, getAngles, scale or getScale; the text getters of each kind:
    //   light: getLightName (Source);  file: getType, getResourceName, getFileName (Type,
    //   Resource, Source);  mesh: getResourceName, getMeshName;  scene: getResourceName,
    //   getSceneName; every kind: getTrackerName (Tracker).
    virtual bool lightCreate(VelOS::CommandContext& context, const std::string& name) = 0; // 45
    virtual bool fileCreate(VelOS::CommandContext& context, const std::string& name,
                            const std::string& resource, const std::string& fileName,
                            const std::string& type) = 0; // 54
    virtual bool meshCreate(VelOS::CommandContext& context, const std::string& name,
                            const std::string& resource,
                            const std::string& meshName) = 0; // 65
    virtual bool sceneCreate(VelOS::CommandContext& context, const std::string& name,
                             const std::string& resource,
                             const std::string& sceneName) = 0; // 83
    virtual void destroyActor(VelOS::CommandContext& context, ActorKind kind,
                              const std::string& name) = 0;                                        // destroy
    virtual void actorList(VelOS::CommandContext& context, ActorKind kind, std::string& list) = 0; // getList
    virtual bool actorText(VelOS::CommandContext& context, ActorKind kind, ActorField field,
                           const std::string& name, // name getters,
                           std::string& text) = 0;  // getTrackerName
    virtual bool connectActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                              const std::string& trackerName) = 0;
    virtual bool unconnectActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name) = 0;
    virtual bool translateActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                                double x, double y, double z) = 0;
    virtual bool actorTranslation(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                                  double& x, double& y,
                                  double& z) = 0; // getTranslation
    virtual bool rotateActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                             double w, double x, double y, double z) = 0;
    virtual bool turnActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                           TurnAxis axis,
                           double degrees) = 0; // pitch, yaw, roll
    virtual bool actorRotation(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                               double& w, double& x, double& y,
                               double& z) = 0; // getRotation
    virtual bool actorAngles(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                             double& pitch, double& yaw,
                             double& roll) = 0; // getAngles
    virtual bool scaleActor(VelOS::CommandContext& context, ActorKind kind, const std::string& name, double x,
                            double y, double z) = 0;
    virtual bool actorScale(VelOS::CommandContext& context, ActorKind kind, const std::string& name,
                            double& x, double& y,
                            double& z) = 0; // getScale
};
