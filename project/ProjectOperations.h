#pragma once

#include "project/ActorKind.h"

#include <string>

// The operations of the project, in their fixed interface order, called by the command
// interpreter (one per command) and by the project document. The four actor kinds' blocks are one
// set of operations over the kind, so that each is written once. Each operation takes the locks
// it needs itself (order in platform/LockRank.h): reads and transform or title changes only the
// project model's; operations that make or destroy engine objects run between frames under the
// frame and scene locks. Events go out through the project model, in one sequence. Called from
// connection threads, and from the main thread for the start-up command file and pointer
// interaction. "out" parameters are only written on success.
class ProjectOperations {
public:
    virtual ~ProjectOperations() = default;

    // Project and server
    virtual bool newProject() = 0;                            // 0
    virtual bool load(const std::string& path) = 0;           // 1
    virtual bool save(const std::string& path) = 0;           // 2
    virtual bool netInit(int port) = 0;                       // 3
    virtual void netDone() = 0;                               // 4
    virtual bool setTitle(const std::string& title) = 0;      // 5
    virtual bool getTitle(std::string& title) = 0;            // 6 out title
    virtual bool mouseAction(const std::string& keyword) = 0; // 7

    // Debug overlay
    virtual void debugShow() = 0;      // 8
    virtual void debugHide() = 0;      // 9
    virtual bool debugIsVisible() = 0; // 10

    // Video capture and tracking threshold
    virtual bool videoCaptureInit(const std::string& device, const std::string& configuration) = 0; // 11
    virtual void videoCaptureDone() = 0;                                                            // 12
    virtual bool isCapturing() = 0;                                                                 // 13
    virtual bool getDeviceName(std::string& name) = 0;                                              // 14
    virtual bool getConfiguration(std::string& configuration) = 0;                                  // 15
    virtual void flipXSet() = 0;                                                                    // 16
    virtual void flipXUnset() = 0;                                                                  // 17
    virtual bool flipXGet() = 0;                                                                    // 18
    virtual void flipYSet() = 0;                                                                    // 19
    virtual void flipYUnset() = 0;                                                                  // 20
    virtual bool flipYGet() = 0;                                                                    // 21
    virtual void thresholdAuto() = 0;                                                               // 22
    virtual void thresholdManual(int value) = 0;                                                    // 23
    virtual void thresholdManual() = 0;             // 24 keeps the value
    virtual bool thresholdIsAuto() = 0;             // 25
    virtual bool thresholdGetValue(int& value) = 0; // 26

    // Resources
    virtual bool resourceCreate(const std::string& name, const std::string& packagePath) = 0; // 27
    virtual void resourceDestroy(const std::string& name) = 0;                                // 28
    virtual void resourceGetList(std::string& list) = 0;                                      // 29
    virtual void resourceGetFilesInside(const std::string& name, std::string& list) = 0;      // 30
    virtual bool resourceGetFilename(const std::string& name, std::string& fileName) = 0;     // 31

    // Trackers
    virtual bool trackerCreate(const std::string& name, const std::string& patternFile, int width) = 0; // 32
    virtual void trackerDestroy(const std::string& name) = 0;                                           // 33
    virtual void trackerGetList(std::string& list) = 0;                                                 // 34
    virtual bool trackerGetPatternFilename(const std::string& name, std::string& patternFile) = 0;      // 35
    virtual bool trackerGetWidth(const std::string& name, int& width) = 0;                              // 36

    // Actors in general
    virtual bool actorsViewports(const std::string& actorName) = 0;                           // 37
    virtual void actorGetAnimationsList(const std::string& actorName, std::string& list) = 0; // 38
    virtual bool actorAction(const std::string& actorName, const std::string& keyword,
                             const std::string& argument) = 0;      // 39
    virtual bool actorsSelectAll() = 0;                             // 40
    virtual bool actorsUnselectAll() = 0;                           // 41
    virtual bool actorSelect(const std::string& actorName) = 0;     // 42
    virtual bool actorUnselect(const std::string& actorName) = 0;   // 43
    virtual bool actorIsSelected(const std::string& actorName) = 0; // 44

    // The actor blocks (45 to 100): each kind's create, then one operation over the kind for what
    // every kind does, in block order. Light and file actors have no rotate, pitch, yaw, roll,
    // getRotation, getAngles, scale or getScale; the text getters of each kind:
    //   light: getLightName (Source);  file: getType, getResourceName, getFileName (Type,
    //   Resource, Source);  mesh: getResourceName, getMeshName;  scene: getResourceName,
    //   getSceneName; every kind: getTrackerName (Tracker).
    virtual bool lightCreate(const std::string& name) = 0; // 45
    virtual bool fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                            const std::string& type) = 0; // 54
    virtual bool meshCreate(const std::string& name, const std::string& resource,
                            const std::string& meshName) = 0; // 65
    virtual bool sceneCreate(const std::string& name, const std::string& resource,
                             const std::string& sceneName) = 0;                       // 83
    virtual void destroyActor(ActorKind kind, const std::string& name) = 0;           // destroy
    virtual void actorList(ActorKind kind, std::string& list) = 0;                    // getList
    virtual bool actorText(ActorKind kind, ActorField field, const std::string& name, // name getters,
                           std::string& text) = 0;                                    // getTrackerName
    virtual bool connectActor(ActorKind kind, const std::string& name, const std::string& trackerName) = 0;
    virtual bool unconnectActor(ActorKind kind, const std::string& name) = 0;
    virtual bool translateActor(ActorKind kind, const std::string& name, double x, double y, double z) = 0;
    virtual bool actorTranslation(ActorKind kind, const std::string& name, double& x, double& y,
                                  double& z) = 0; // getTranslation
    virtual bool rotateActor(ActorKind kind, const std::string& name, double w, double x, double y,
                             double z) = 0;
    virtual bool turnActor(ActorKind kind, const std::string& name, TurnAxis axis,
                           double degrees) = 0; // pitch, yaw, roll
    virtual bool actorRotation(ActorKind kind, const std::string& name, double& w, double& x, double& y,
                               double& z) = 0; // getRotation
    virtual bool actorAngles(ActorKind kind, const std::string& name, double& pitch, double& yaw,
                             double& roll) = 0; // getAngles
    virtual bool scaleActor(ActorKind kind, const std::string& name, double x, double y, double z) = 0;
    virtual bool actorScale(ActorKind kind, const std::string& name, double& x, double& y,
                            double& z) = 0; // getScale
};
