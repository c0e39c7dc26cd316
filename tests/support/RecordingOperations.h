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

    bool newProject() override {
        record("newProject");
        return result;
    }
    bool load(const std::string& path) override {
        record("load", path);
        return result;
    }
    bool save(const std::string& path) override {
        record("save", path);
        return result;
    }
    bool netInit(int port) override {
        record("netInit", port);
        return result;
    }
    void netDone() override { record("netDone"); }
    bool setTitle(const std::string& title) override {
        record("setTitle", title);
        return result;
    }
    bool getTitle(std::string& title) override {
        record("getTitle");
        title = textOut;
        return result;
    }
    bool mouseAction(const std::string& keyword) override {
        record("mouseAction", keyword);
        return result;
    }
    void debugShow() override { record("debugShow"); }
    void debugHide() override { record("debugHide"); }
    bool debugIsVisible() override {
        record("debugIsVisible");
        return result;
    }
    bool videoCaptureInit(const std::string& device, const std::string& configuration) override {
        record("videoCaptureInit", device, configuration);
        return result;
    }
    void videoCaptureDone() override { record("videoCaptureDone"); }
    bool isCapturing() override {
        record("isCapturing");
        return result;
    }
    bool getDeviceName(std::string& name) override {
        record("getDeviceName");
        name = textOut + " device";
        return result;
    }
    bool getConfiguration(std::string& configuration) override {
        record("getConfiguration");
        configuration = textOut + " configuration";
        return result;
    }
    void flipXSet() override { record("flipXSet"); }
    void flipXUnset() override { record("flipXUnset"); }
    bool flipXGet() override {
        record("flipXGet");
        return result;
    }
    void flipYSet() override { record("flipYSet"); }
    void flipYUnset() override { record("flipYUnset"); }
    bool flipYGet() override {
        record("flipYGet");
        return result;
    }
    void thresholdAuto() override { record("thresholdAuto"); }
    void thresholdManual(int value) override { record("thresholdManual", value); }
    void thresholdManual() override { record("thresholdManual"); }
    bool thresholdIsAuto() override {
        record("thresholdIsAuto");
        return result;
    }
    bool thresholdGetValue(int& value) override {
        record("thresholdGetValue");
        value = integerOut;
        return result;
    }
    bool resourceCreate(const std::string& name, const std::string& packagePath) override {
        record("resourceCreate", name, packagePath);
        return result;
    }
    void resourceDestroy(const std::string& name) override { record("resourceDestroy", name); }
    void resourceGetList(std::string& list) override {
        record("resourceGetList");
        list = textOut;
    }
    void resourceGetFilesInside(const std::string& name, std::string& list) override {
        record("resourceGetFilesInside", name);
        list = textOut + " files";
    }
    bool resourceGetFilename(const std::string& name, std::string& fileName) override {
        record("resourceGetFilename", name);
        fileName = name + ".zip";
        return result;
    }
    bool trackerCreate(const std::string& name, const std::string& patternFile, int width) override {
        record("trackerCreate", name, patternFile, width);
        return result;
    }
    void trackerDestroy(const std::string& name) override { record("trackerDestroy", name); }
    void trackerGetList(std::string& list) override {
        record("trackerGetList");
        list = textOut;
    }
    bool trackerGetPatternFilename(const std::string& name, std::string& patternFile) override {
        record("trackerGetPatternFilename", name);
        patternFile = name + ".pat";
        return result;
    }
    bool trackerGetWidth(const std::string& name, int& width) override {
        record("trackerGetWidth", name);
        width = integerOut + 1;
        return result;
    }
    bool actorsViewports(const std::string& actorName) override {
        record("actorsViewports", actorName);
        return result;
    }
    void actorGetAnimationsList(const std::string& actorName, std::string& list) override {
        record("actorGetAnimationsList", actorName);
        list = actorName + ".animations";
    }
    bool actorAction(const std::string& actorName, const std::string& keyword,
                     const std::string& argument) override {
        record("actorAction", actorName, keyword, argument);
        return result;
    }
    bool actorsSelectAll() override {
        record("actorsSelectAll");
        return result;
    }
    bool actorsUnselectAll() override {
        record("actorsUnselectAll");
        return result;
    }
    bool actorSelect(const std::string& actorName) override {
        record("actorSelect", actorName);
        return result;
    }
    bool actorUnselect(const std::string& actorName) override {
        record("actorUnselect", actorName);
        return result;
    }
    bool actorIsSelected(const std::string& actorName) override {
        record("actorIsSelected", actorName);
        return result;
    }
    bool lightCreate(const std::string& name) override {
        record("lightCreate", name);
        return result;
    }
    bool fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                    const std::string& type) override {
        record("fileCreate", name, resource, fileName, type);
        return result;
    }
    bool meshCreate(const std::string& name, const std::string& resource,
                    const std::string& meshName) override {
        record("meshCreate", name, resource, meshName);
        return result;
    }
    bool sceneCreate(const std::string& name, const std::string& resource,
                     const std::string& sceneName) override {
        record("sceneCreate", name, resource, sceneName);
        return result;
    }

    // The operations of every actor kind, recorded under the kind's own operation name
    // ("meshTranslate", "fileGetType").
    void destroyActor(ActorKind kind, const std::string& name) override {
        record(named(kind, "Destroy"), name);
    }
    void actorList(ActorKind kind, std::string& list) override {
        record(named(kind, "GetList"));
        list = textOut;
    }
    bool actorText(ActorKind kind, ActorField field, const std::string& name, std::string& text) override {
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
    bool connectActor(ActorKind kind, const std::string& name, const std::string& trackerName) override {
        record(named(kind, "Connect"), name, trackerName);
        return result;
    }
    bool unconnectActor(ActorKind kind, const std::string& name) override {
        record(named(kind, "Unconnect"), name);
        return result;
    }
    bool translateActor(ActorKind kind, const std::string& name, double x, double y, double z) override {
        record(named(kind, "Translate"), name, x, y, z);
        return result;
    }
    bool actorTranslation(ActorKind kind, const std::string& name, double& x, double& y, double& z) override {
        record(named(kind, "GetTranslation"), name);
        x = numberOut;
        y = numberOut + 1;
        z = numberOut + 2;
        return result;
    }
    bool rotateActor(ActorKind kind, const std::string& name, double w, double x, double y,
                     double z) override {
        record(named(kind, "Rotate"), name, w, x, y, z);
        return result;
    }
    bool turnActor(ActorKind kind, const std::string& name, TurnAxis axis, double degrees) override {
        const char* turn = axis == TurnAxis::Pitch ? "Pitch" : axis == TurnAxis::Yaw ? "Yaw" : "Roll";
        record(named(kind, turn), name, degrees);
        return result;
    }
    bool actorRotation(ActorKind kind, const std::string& name, double& w, double& x, double& y,
                       double& z) override {
        record(named(kind, "GetRotation"), name);
        w = numberOut + 3;
        x = numberOut + 4;
        y = numberOut + 5;
        z = numberOut + 6;
        return result;
    }
    bool actorAngles(ActorKind kind, const std::string& name, double& pitch, double& yaw,
                     double& roll) override {
        record(named(kind, "GetAngles"), name);
        pitch = numberOut + 10;
        yaw = numberOut + 11;
        roll = numberOut + 12;
        return result;
    }
    bool scaleActor(ActorKind kind, const std::string& name, double x, double y, double z) override {
        record(named(kind, "Scale"), name, x, y, z);
        return result;
    }
    bool actorScale(ActorKind kind, const std::string& name, double& x, double& y, double& z) override {
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
