#pragma once

#include <string>

// The operations of the project, in their fixed interface order, called by the command
// interpreter (one per command) and by the project document. Every operation takes the scene
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

    // Light actors
    virtual bool lightCreate(const std::string& name) = 0;                                          // 45
    virtual void lightDestroy(const std::string& name) = 0;                                         // 46
    virtual void lightGetList(std::string& list) = 0;                                               // 47
    virtual bool lightGetLightName(const std::string& name, std::string& lightName) = 0;            // 48
    virtual bool lightGetTrackerName(const std::string& name, std::string& trackerName) = 0;        // 49
    virtual bool lightConnect(const std::string& name, const std::string& trackerName) = 0;         // 50
    virtual bool lightUnconnect(const std::string& name) = 0;                                       // 51
    virtual bool lightTranslate(const std::string& name, double x, double y, double z) = 0;         // 52
    virtual bool lightGetTranslation(const std::string& name, double& x, double& y, double& z) = 0; // 53

    // File actors
    virtual bool fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                            const std::string& type) = 0;                                          // 54
    virtual void fileDestroy(const std::string& name) = 0;                                         // 55
    virtual void fileGetList(std::string& list) = 0;                                               // 56
    virtual bool fileGetType(const std::string& name, std::string& type) = 0;                      // 57
    virtual bool fileGetResourceName(const std::string& name, std::string& resource) = 0;          // 58
    virtual bool fileGetFileName(const std::string& name, std::string& fileName) = 0;              // 59
    virtual bool fileGetTrackerName(const std::string& name, std::string& trackerName) = 0;        // 60
    virtual bool fileConnect(const std::string& name, const std::string& trackerName) = 0;         // 61
    virtual bool fileUnconnect(const std::string& name) = 0;                                       // 62
    virtual bool fileTranslate(const std::string& name, double x, double y, double z) = 0;         // 63
    virtual bool fileGetTranslation(const std::string& name, double& x, double& y, double& z) = 0; // 64

    // Mesh actors
    virtual bool meshCreate(const std::string& name, const std::string& resource,
                            const std::string& meshName) = 0;                                      // 65
    virtual void meshDestroy(const std::string& name) = 0;                                         // 66
    virtual void meshGetList(std::string& list) = 0;                                               // 67
    virtual bool meshGetResourceName(const std::string& name, std::string& resource) = 0;          // 68
    virtual bool meshGetMeshName(const std::string& name, std::string& meshName) = 0;              // 69
    virtual bool meshGetTrackerName(const std::string& name, std::string& trackerName) = 0;        // 70
    virtual bool meshConnect(const std::string& name, const std::string& trackerName) = 0;         // 71
    virtual bool meshUnconnect(const std::string& name) = 0;                                       // 72
    virtual bool meshTranslate(const std::string& name, double x, double y, double z) = 0;         // 73
    virtual bool meshGetTranslation(const std::string& name, double& x, double& y, double& z) = 0; // 74
    virtual bool meshRotate(const std::string& name, double w, double x, double y, double z) = 0;  // 75
    virtual bool meshPitch(const std::string& name, double degrees) = 0;                           // 76
    virtual bool meshYaw(const std::string& name, double degrees) = 0;                             // 77
    virtual bool meshRoll(const std::string& name, double degrees) = 0;                            // 78
    virtual bool meshGetRotation(const std::string& name, double& w, double& x, double& y,
                                 double& z) = 0;                                                       // 79
    virtual bool meshGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) = 0; // 80
    virtual bool meshScale(const std::string& name, double x, double y, double z) = 0;                 // 81
    virtual bool meshGetScale(const std::string& name, double& x, double& y, double& z) = 0;           // 82

    // Scene actors
    virtual bool sceneCreate(const std::string& name, const std::string& resource,
                             const std::string& sceneName) = 0;                                     // 83
    virtual void sceneDestroy(const std::string& name) = 0;                                         // 84
    virtual void sceneGetList(std::string& list) = 0;                                               // 85
    virtual bool sceneGetResourceName(const std::string& name, std::string& resource) = 0;          // 86
    virtual bool sceneGetSceneName(const std::string& name, std::string& sceneName) = 0;            // 87
    virtual bool sceneGetTrackerName(const std::string& name, std::string& trackerName) = 0;        // 88
    virtual bool sceneConnect(const std::string& name, const std::string& trackerName) = 0;         // 89
    virtual bool sceneUnconnect(const std::string& name) = 0;                                       // 90
    virtual bool sceneTranslate(const std::string& name, double x, double y, double z) = 0;         // 91
    virtual bool sceneGetTranslation(const std::string& name, double& x, double& y, double& z) = 0; // 92
    virtual bool sceneRotate(const std::string& name, double w, double x, double y, double z) = 0;  // 93
    virtual bool scenePitch(const std::string& name, double degrees) = 0;                           // 94
    virtual bool sceneYaw(const std::string& name, double degrees) = 0;                             // 95
    virtual bool sceneRoll(const std::string& name, double degrees) = 0;                            // 96
    virtual bool sceneGetRotation(const std::string& name, double& w, double& x, double& y,
                                  double& z) = 0;                                                       // 97
    virtual bool sceneGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) = 0; // 98
    virtual bool sceneScale(const std::string& name, double x, double y, double z) = 0;                 // 99
    virtual bool sceneGetScale(const std::string& name, double& x, double& y, double& z) = 0;           // 100
};
