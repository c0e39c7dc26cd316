#pragma once

// A ProjectOperations that records every call as "name(arguments)" and answers with a set
// result and set output values, for testing the command interpreter without a Scene.
//
// Every output field gets a value of its own, so that a caller that swaps two fields (x for y,
// the mesh name for the resource name, a translation for a scale) writes something visibly
// wrong: a translation is (numberOut, numberOut + 1, numberOut + 2), a rotation numberOut + 3
// to + 6, a scale + 7 to + 9, the angles + 10 to + 12; an actor's texts are its name and the
// field ("bot.resource", "bot.mesh", "bot.tracker"); a package is NAME.zip, a pattern NAME.pat.
#include "project/ProjectOperations.h"

#include <mutex>
#include <sstream>
#include <string>
#include <vector>

class RecordingOperations : public ProjectOperations {
public:
    // What every bool operation returns.
    bool result = true;
    // The title, lists, device and configuration texts (each its own: "out", "out device", ...).
    std::string textOut = "out";
    // The first number of the numeric outputs; the others are offsets from it (see above).
    double numberOut = 1.5;
    // The threshold; a tracker's width is integerOut + 1.
    int integerOut = 7;

    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls_;
    }
    std::string lastCall() {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls_.empty() ? std::string() : calls_.back();
    }

    bool newProject(VelOS::CommandContext&) override {
        record("newProject");
        return result;
    }
    bool load(VelOS::CommandContext&, const std::string& path) override {
        record("load", path);
        return result;
    }
    bool save(VelOS::CommandContext&, const std::string& path) override {
        record("save", path);
        return result;
    }
    bool netInit(VelOS::CommandContext&, int port) override {
        record("netInit", port);
        return result;
    }
    void netDone(VelOS::CommandContext&) override { record("netDone"); }
    bool setTitle(VelOS::CommandContext&, const std::string& title) override {
        record("setTitle", title);
        return result;
    }
    bool getTitle(VelOS::CommandContext&, std::string& title) override {
        record("getTitle");
        title = textOut;
        return result;
    }
    bool mouseAction(VelOS::CommandContext&, const std::string& keyword) override {
        record("mouseAction", keyword);
        return result;
    }
    void debugShow(VelOS::CommandContext&) override { record("debugShow"); }
    void debugHide(VelOS::CommandContext&) override { record("debugHide"); }
    bool debugIsVisible(VelOS::CommandContext&) override {
        record("debugIsVisible");
        return result;
    }
    bool videoCaptureInit(VelOS::CommandContext&, const std::string& device,
                          const std::string& configuration) override {
        record("videoCaptureInit", device, configuration);
        return result;
    }
    void videoCaptureDone(VelOS::CommandContext&) override { record("videoCaptureDone"); }
    bool isCapturing(VelOS::CommandContext&) override {
        record("isCapturing");
        return result;
    }
    bool getDeviceName(VelOS::CommandContext&, std::string& name) override {
        record("getDeviceName");
        name = textOut + " device";
        return result;
    }
    bool getConfiguration(VelOS::CommandContext&, std::string& configuration) override {
        record("getConfiguration");
        configuration = textOut + " configuration";
        return result;
    }
    void flipXSet(VelOS::CommandContext&) override { record("flipXSet"); }
    void flipXUnset(VelOS::CommandContext&) override { record("flipXUnset"); }
    bool flipXGet(VelOS::CommandContext&) override {
        record("flipXGet");
        return result;
    }
    void flipYSet(VelOS::CommandContext&) override { record("flipYSet"); }
    void flipYUnset(VelOS::CommandContext&) override { record("flipYUnset"); }
    bool flipYGet(VelOS::CommandContext&) override {
        record("flipYGet");
        return result;
    }
    void thresholdAuto(VelOS::CommandContext&) override { record("thresholdAuto"); }
    void thresholdManual(VelOS::CommandContext&, int value) override { record("thresholdManual", value); }
    void thresholdManual(VelOS::CommandContext&) override { record("thresholdManual"); }
    bool thresholdIsAuto(VelOS::CommandContext&) override {
        record("thresholdIsAuto");
        return result;
    }
    bool thresholdGetValue(VelOS::CommandContext&, int& value) override {
        record("thresholdGetValue");
        value = integerOut;
        return result;
    }
    bool resourceCreate(VelOS::CommandContext&, const std::string& name,
                        const std::string& packagePath) override {
        record("resourceCreate", name, packagePath);
        return result;
    }
    void resourceDestroy(VelOS::CommandContext&, const std::string& name) override {
        record("resourceDestroy", name);
    }
    void resourceGetList(VelOS::CommandContext&, std::string& list) override {
        record("resourceGetList");
        list = textOut;
    }
    void resourceGetFilesInside(VelOS::CommandContext&, const std::string& name, std::string& list) override {
        record("resourceGetFilesInside", name);
        list = textOut + " files";
    }
    bool resourceGetFilename(VelOS::CommandContext&, const std::string& name,
                             std::string& fileName) override {
        record("resourceGetFilename", name);
        fileName = name + ".zip";
        return result;
    }
    bool trackerCreate(VelOS::CommandContext&, const std::string& name, const std::string& patternFile,
                       int width) override {
        record("trackerCreate", name, patternFile, width);
        return result;
    }
    void trackerDestroy(VelOS::CommandContext&, const std::string& name) override {
        record("trackerDestroy", name);
    }
    void trackerGetList(VelOS::CommandContext&, std::string& list) override {
        record("trackerGetList");
        list = textOut;
    }
    bool trackerGetPatternFilename(VelOS::CommandContext&, const std::string& name,
                                   std::string& patternFile) override {
        record("trackerGetPatternFilename", name);
        patternFile = name + ".pat";
        return result;
    }
    bool trackerGetWidth(VelOS::CommandContext&, const std::string& name, int& width) override {
        record("trackerGetWidth", name);
        width = integerOut + 1;
        return result;
    }
    bool actorsViewports(VelOS::CommandContext&, const std::string& actorName) override {
        record("actorsViewports", actorName);
        return result;
    }
    void actorGetAnimationsList(VelOS::CommandContext&, const std::string& actorName,
                                std::string& list) override {
        record("actorGetAnimationsList", actorName);
        list = actorName + ".animations";
    }
    bool actorAction(VelOS::CommandContext&, const std::string& actorName, const std::string& keyword,
                     const std::string& argument) override {
        record("actorAction", actorName, keyword, argument);
        return result;
    }
    bool actorsSelectAll(VelOS::CommandContext&) override {
        record("actorsSelectAll");
        return result;
    }
    bool actorsUnselectAll(VelOS::CommandContext&) override {
        record("actorsUnselectAll");
        return result;
    }
    bool actorSelect(VelOS::CommandContext&, const std::string& actorName) override {
        record("actorSelect", actorName);
        return result;
    }
    bool actorUnselect(VelOS::CommandContext&, const std::string& actorName) override {
        record("actorUnselect", actorName);
        return result;
    }
    bool actorIsSelected(VelOS::CommandContext&, const std::string& actorName) override {
        record("actorIsSelected", actorName);
        return result;
    }
    bool lightCreate(VelOS::CommandContext&, const std::string& name) override {
        record("lightCreate", name);
        return result;
    }
    bool fileCreate(VelOS::CommandContext&, const std::string& name, const std::string& resource,
                    const std::string& fileName, const std::string& type) override {
        record("fileCreate", name, resource, fileName, type);
        return result;
    }
    bool meshCreate(VelOS::CommandContext&, const std::string& name, const std::string& resource,
                    const std::string& meshName) override {
        record("meshCreate", name, resource, meshName);
        return result;
    }
    bool sceneCreate(VelOS::CommandContext&, const std::string& name, const std::string& resource,
                     const std::string& sceneName) override {
        record("sceneCreate", name, resource, sceneName);
        return result;
    }

    // The operations of every actor kind, recorded under the kind's own operation name
    // ("meshTranslate", "fileGetType").
    void destroyActor(VelOS::CommandContext&, ActorKind kind, const std::string& name) override {
        record(named(kind, "Destroy"), name);
    }
    void actorList(VelOS::CommandContext&, ActorKind kind, std::string& list) override {
        record(named(kind, "GetList"));
        list = textOut;
    }
    bool actorText(VelOS::CommandContext&, ActorKind kind, ActorField field, const std::string& name,
                   std::string& text) override {
        static const char* const sources[] = {"GetLightName", "GetFileName", "GetMeshName", "GetSceneName"};
        static const char* const sourceFields[] = {"light", "file", "mesh", "scene"};
        const char* getter = field == ActorField::Tracker    ? "GetTrackerName"
                             : field == ActorField::Resource ? "GetResourceName"
                             : field == ActorField::Type     ? "GetType"
                                                             : sources[static_cast<int>(kind)];
        const char* value = field == ActorField::Tracker    ? "tracker"
                            : field == ActorField::Resource ? "resource"
                            : field == ActorField::Type     ? "type"
                                                            : sourceFields[static_cast<int>(kind)];
        record(named(kind, getter), name);
        text = name + "." + value;
        return result;
    }
    bool connectActor(VelOS::CommandContext&, ActorKind kind, const std::string& name,
                      const std::string& trackerName) override {
        record(named(kind, "Connect"), name, trackerName);
        return result;
    }
    bool unconnectActor(VelOS::CommandContext&, ActorKind kind, const std::string& name) override {
        record(named(kind, "Unconnect"), name);
        return result;
    }
    bool translateActor(VelOS::CommandContext&, ActorKind kind, const std::string& name, double x, double y,
                        double z) override {
        record(named(kind, "Translate"), name, x, y, z);
        return result;
    }
    bool actorTranslation(VelOS::CommandContext&, ActorKind kind, const std::string& name, double& x,
                          double& y, double& z) override {
        record(named(kind, "GetTranslation"), name);
        x = numberOut;
        y = numberOut + 1;
        z = numberOut + 2;
        return result;
    }
    bool rotateActor(VelOS::CommandContext&, ActorKind kind, const std::string& name, double w, double x,
                     double y, double z) override {
        record(named(kind, "Rotate"), name, w, x, y, z);
        return result;
    }
    bool turnActor(VelOS::CommandContext&, ActorKind kind, const std::string& name, TurnAxis axis,
                   double degrees) override {
        const char* turn = axis == TurnAxis::Pitch ? "Pitch" : axis == TurnAxis::Yaw ? "Yaw" : "Roll";
        record(named(kind, turn), name, degrees);
        return result;
    }
    bool actorRotation(VelOS::CommandContext&, ActorKind kind, const std::string& name, double& w, double& x,
                       double& y, double& z) override {
        record(named(kind, "GetRotation"), name);
        w = numberOut + 3;
        x = numberOut + 4;
        y = numberOut + 5;
        z = numberOut + 6;
        return result;
    }
    bool actorAngles(VelOS::CommandContext&, ActorKind kind, const std::string& name, double& pitch,
                     double& yaw, double& roll) override {
        record(named(kind, "GetAngles"), name);
        pitch = numberOut + 10;
        yaw = numberOut + 11;
        roll = numberOut + 12;
        return result;
    }
    bool scaleActor(VelOS::CommandContext&, ActorKind kind, const std::string& name, double x, double y,
                    double z) override {
        record(named(kind, "Scale"), name, x, y, z);
        return result;
    }
    bool actorScale(VelOS::CommandContext&, ActorKind kind, const std::string& name, double& x, double& y,
                    double& z) override {
        record(named(kind, "GetScale"), name);
        x = numberOut + 7;
        y = numberOut + 8;
        z = numberOut + 9;
        return result;
    }

private:
    static std::string named(ActorKind kind, const char* operation) {
        return actorKindWord(kind) + std::string(operation);
    }
    template <typename... Arguments> void record(const std::string& name, const Arguments&... arguments) {
        std::ostringstream call;
        call << name << "(";
        bool first = true;
        ((call << (first ? "" : ", ") << arguments, first = false), ...);
        call << ")";
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(call.str());
    }

    std::mutex mutex_; // guards calls_
    std::vector<std::string> calls_;
};
