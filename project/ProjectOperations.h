#pragma once

#include "project/ActorKind.h"

#include <string>

// The operations of the project, in their fixed interface order, called by the command
// interpreter (one per command) and by the project document. The operations of the four actor
// kinds (45 to 100) are one set of operations over the kind: an implementation writes those
// once, and the names of each kind below only pass the kind on. Every operation takes the scene
// lock itself (engine-touching ones the frame lock too; order in platform/LockRank.h) and broadcasts its
// event sentence after releasing it. Called from connection threads, and from the main thread for the
// start-up command file and pointer interaction. "out" parameters are only written on success.
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

    // Actors of every kind: what the kinds have in common, written once.
    virtual void destroyActor(ActorKind kind, const std::string& name) = 0;
    virtual void actorList(ActorKind kind, std::string& list) = 0;
    virtual bool actorText(ActorKind kind, ActorField field, const std::string& name, std::string& text) = 0;
    virtual bool connectActor(ActorKind kind, const std::string& name, const std::string& trackerName) = 0;
    virtual bool unconnectActor(ActorKind kind, const std::string& name) = 0;
    virtual bool translateActor(ActorKind kind, const std::string& name, double x, double y, double z) = 0;
    virtual bool actorTranslation(ActorKind kind, const std::string& name, double& x, double& y,
                                  double& z) = 0;
    // Mesh and scene actors only: lights and files have no orientation or scale.
    virtual bool rotateActor(ActorKind kind, const std::string& name, double w, double x, double y,
                             double z) = 0;
    virtual bool turnActor(ActorKind kind, const std::string& name, TurnAxis axis, double degrees) = 0;
    virtual bool actorRotation(ActorKind kind, const std::string& name, double& w, double& x, double& y,
                               double& z) = 0;
    virtual bool actorAngles(ActorKind kind, const std::string& name, double& pitch, double& yaw,
                             double& roll) = 0;
    virtual bool scaleActor(ActorKind kind, const std::string& name, double x, double y, double z) = 0;
    virtual bool actorScale(ActorKind kind, const std::string& name, double& x, double& y, double& z) = 0;

    // Light actors
    virtual bool lightCreate(const std::string& name) = 0; // 45
    void lightDestroy(const std::string& name) { destroyActor(ActorKind::Light, name); }
    void lightGetList(std::string& list) { actorList(ActorKind::Light, list); }
    bool lightGetLightName(const std::string& name, std::string& lightName) {
        return actorText(ActorKind::Light, ActorField::Source, name, lightName);
    }
    bool lightGetTrackerName(const std::string& name, std::string& trackerName) {
        return actorText(ActorKind::Light, ActorField::Tracker, name, trackerName);
    }
    bool lightConnect(const std::string& name, const std::string& trackerName) {
        return connectActor(ActorKind::Light, name, trackerName);
    }
    bool lightUnconnect(const std::string& name) { return unconnectActor(ActorKind::Light, name); }
    bool lightTranslate(const std::string& name, double x, double y, double z) {
        return translateActor(ActorKind::Light, name, x, y, z);
    }
    bool lightGetTranslation(const std::string& name, double& x, double& y, double& z) {
        return actorTranslation(ActorKind::Light, name, x, y, z);
    }

    // File actors
    virtual bool fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                            const std::string& type) = 0; // 54
    void fileDestroy(const std::string& name) { destroyActor(ActorKind::File, name); }
    void fileGetList(std::string& list) { actorList(ActorKind::File, list); }
    bool fileGetType(const std::string& name, std::string& type) {
        return actorText(ActorKind::File, ActorField::Type, name, type);
    }
    bool fileGetResourceName(const std::string& name, std::string& resource) {
        return actorText(ActorKind::File, ActorField::Resource, name, resource);
    }
    bool fileGetFileName(const std::string& name, std::string& fileName) {
        return actorText(ActorKind::File, ActorField::Source, name, fileName);
    }
    bool fileGetTrackerName(const std::string& name, std::string& trackerName) {
        return actorText(ActorKind::File, ActorField::Tracker, name, trackerName);
    }
    bool fileConnect(const std::string& name, const std::string& trackerName) {
        return connectActor(ActorKind::File, name, trackerName);
    }
    bool fileUnconnect(const std::string& name) { return unconnectActor(ActorKind::File, name); }
    bool fileTranslate(const std::string& name, double x, double y, double z) {
        return translateActor(ActorKind::File, name, x, y, z);
    }
    bool fileGetTranslation(const std::string& name, double& x, double& y, double& z) {
        return actorTranslation(ActorKind::File, name, x, y, z);
    }

    // Mesh actors
    virtual bool meshCreate(const std::string& name, const std::string& resource,
                            const std::string& meshName) = 0; // 65
    void meshDestroy(const std::string& name) { destroyActor(ActorKind::Mesh, name); }
    void meshGetList(std::string& list) { actorList(ActorKind::Mesh, list); }
    bool meshGetResourceName(const std::string& name, std::string& resource) {
        return actorText(ActorKind::Mesh, ActorField::Resource, name, resource);
    }
    bool meshGetMeshName(const std::string& name, std::string& meshName) {
        return actorText(ActorKind::Mesh, ActorField::Source, name, meshName);
    }
    bool meshGetTrackerName(const std::string& name, std::string& trackerName) {
        return actorText(ActorKind::Mesh, ActorField::Tracker, name, trackerName);
    }
    bool meshConnect(const std::string& name, const std::string& trackerName) {
        return connectActor(ActorKind::Mesh, name, trackerName);
    }
    bool meshUnconnect(const std::string& name) { return unconnectActor(ActorKind::Mesh, name); }
    bool meshTranslate(const std::string& name, double x, double y, double z) {
        return translateActor(ActorKind::Mesh, name, x, y, z);
    }
    bool meshGetTranslation(const std::string& name, double& x, double& y, double& z) {
        return actorTranslation(ActorKind::Mesh, name, x, y, z);
    }
    bool meshRotate(const std::string& name, double w, double x, double y, double z) {
        return rotateActor(ActorKind::Mesh, name, w, x, y, z);
    }
    bool meshPitch(const std::string& name, double degrees) {
        return turnActor(ActorKind::Mesh, name, TurnAxis::Pitch, degrees);
    }
    bool meshYaw(const std::string& name, double degrees) {
        return turnActor(ActorKind::Mesh, name, TurnAxis::Yaw, degrees);
    }
    bool meshRoll(const std::string& name, double degrees) {
        return turnActor(ActorKind::Mesh, name, TurnAxis::Roll, degrees);
    }
    bool meshGetRotation(const std::string& name, double& w, double& x, double& y, double& z) {
        return actorRotation(ActorKind::Mesh, name, w, x, y, z);
    }
    bool meshGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) {
        return actorAngles(ActorKind::Mesh, name, pitch, yaw, roll);
    }
    bool meshScale(const std::string& name, double x, double y, double z) {
        return scaleActor(ActorKind::Mesh, name, x, y, z);
    }
    bool meshGetScale(const std::string& name, double& x, double& y, double& z) {
        return actorScale(ActorKind::Mesh, name, x, y, z);
    }

    // Scene actors
    virtual bool sceneCreate(const std::string& name, const std::string& resource,
                             const std::string& sceneName) = 0; // 83
    void sceneDestroy(const std::string& name) { destroyActor(ActorKind::Scene, name); }
    void sceneGetList(std::string& list) { actorList(ActorKind::Scene, list); }
    bool sceneGetResourceName(const std::string& name, std::string& resource) {
        return actorText(ActorKind::Scene, ActorField::Resource, name, resource);
    }
    bool sceneGetSceneName(const std::string& name, std::string& sceneName) {
        return actorText(ActorKind::Scene, ActorField::Source, name, sceneName);
    }
    bool sceneGetTrackerName(const std::string& name, std::string& trackerName) {
        return actorText(ActorKind::Scene, ActorField::Tracker, name, trackerName);
    }
    bool sceneConnect(const std::string& name, const std::string& trackerName) {
        return connectActor(ActorKind::Scene, name, trackerName);
    }
    bool sceneUnconnect(const std::string& name) { return unconnectActor(ActorKind::Scene, name); }
    bool sceneTranslate(const std::string& name, double x, double y, double z) {
        return translateActor(ActorKind::Scene, name, x, y, z);
    }
    bool sceneGetTranslation(const std::string& name, double& x, double& y, double& z) {
        return actorTranslation(ActorKind::Scene, name, x, y, z);
    }
    bool sceneRotate(const std::string& name, double w, double x, double y, double z) {
        return rotateActor(ActorKind::Scene, name, w, x, y, z);
    }
    bool scenePitch(const std::string& name, double degrees) {
        return turnActor(ActorKind::Scene, name, TurnAxis::Pitch, degrees);
    }
    bool sceneYaw(const std::string& name, double degrees) {
        return turnActor(ActorKind::Scene, name, TurnAxis::Yaw, degrees);
    }
    bool sceneRoll(const std::string& name, double degrees) {
        return turnActor(ActorKind::Scene, name, TurnAxis::Roll, degrees);
    }
    bool sceneGetRotation(const std::string& name, double& w, double& x, double& y, double& z) {
        return actorRotation(ActorKind::Scene, name, w, x, y, z);
    }
    bool sceneGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) {
        return actorAngles(ActorKind::Scene, name, pitch, yaw, roll);
    }
    bool sceneScale(const std::string& name, double x, double y, double z) {
        return scaleActor(ActorKind::Scene, name, x, y, z);
    }
    bool sceneGetScale(const std::string& name, double& x, double& y, double& z) {
        return actorScale(ActorKind::Scene, name, x, y, z);
    }
};
