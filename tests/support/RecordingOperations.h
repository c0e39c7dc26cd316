#pragma once

// A ProjectOperations that records every call as "name(arguments)" and answers with a set
// result and set output values, for testing the command interpreter without a Scene.
#include "project/ProjectOperations.h"

#include <mutex>
#include <sstream>
#include <string>
#include <vector>

class RecordingOperations : public ProjectOperations {
public:
    // What every bool operation returns.
    bool result = true;
    // What text, number and integer outputs receive.
    std::string textOut = "out";
    double numberOut = 1.5;
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
        name = textOut;
        return result;
    }
    bool getConfiguration(std::string& configuration) override {
        record("getConfiguration");
        configuration = textOut;
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
        list = textOut;
    }
    bool resourceGetFilename(const std::string& name, std::string& fileName) override {
        record("resourceGetFilename", name);
        fileName = textOut;
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
        patternFile = textOut;
        return result;
    }
    bool trackerGetWidth(const std::string& name, int& width) override {
        record("trackerGetWidth", name);
        width = integerOut;
        return result;
    }
    bool actorsViewports(const std::string& actorName) override {
        record("actorsViewports", actorName);
        return result;
    }
    void actorGetAnimationsList(const std::string& actorName, std::string& list) override {
        record("actorGetAnimationsList", actorName);
        list = textOut;
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
    void lightDestroy(const std::string& name) override { record("lightDestroy", name); }
    void lightGetList(std::string& list) override {
        record("lightGetList");
        list = textOut;
    }
    bool lightGetLightName(const std::string& name, std::string& lightName) override {
        record("lightGetLightName", name);
        lightName = textOut;
        return result;
    }
    bool lightGetTrackerName(const std::string& name, std::string& trackerName) override {
        record("lightGetTrackerName", name);
        trackerName = textOut;
        return result;
    }
    bool lightConnect(const std::string& name, const std::string& trackerName) override {
        record("lightConnect", name, trackerName);
        return result;
    }
    bool lightUnconnect(const std::string& name) override {
        record("lightUnconnect", name);
        return result;
    }
    bool lightTranslate(const std::string& name, double x, double y, double z) override {
        record("lightTranslate", name, x, y, z);
        return result;
    }
    bool lightGetTranslation(const std::string& name, double& x, double& y, double& z) override {
        record("lightGetTranslation", name);
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }
    bool fileCreate(const std::string& name, const std::string& resource, const std::string& fileName,
                    const std::string& type) override {
        record("fileCreate", name, resource, fileName, type);
        return result;
    }
    void fileDestroy(const std::string& name) override { record("fileDestroy", name); }
    void fileGetList(std::string& list) override {
        record("fileGetList");
        list = textOut;
    }
    bool fileGetType(const std::string& name, std::string& type) override {
        record("fileGetType", name);
        type = textOut;
        return result;
    }
    bool fileGetResourceName(const std::string& name, std::string& resource) override {
        record("fileGetResourceName", name);
        resource = textOut;
        return result;
    }
    bool fileGetFileName(const std::string& name, std::string& fileName) override {
        record("fileGetFileName", name);
        fileName = textOut;
        return result;
    }
    bool fileGetTrackerName(const std::string& name, std::string& trackerName) override {
        record("fileGetTrackerName", name);
        trackerName = textOut;
        return result;
    }
    bool fileConnect(const std::string& name, const std::string& trackerName) override {
        record("fileConnect", name, trackerName);
        return result;
    }
    bool fileUnconnect(const std::string& name) override {
        record("fileUnconnect", name);
        return result;
    }
    bool fileTranslate(const std::string& name, double x, double y, double z) override {
        record("fileTranslate", name, x, y, z);
        return result;
    }
    bool fileGetTranslation(const std::string& name, double& x, double& y, double& z) override {
        record("fileGetTranslation", name);
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }
    bool meshCreate(const std::string& name, const std::string& resource,
                    const std::string& meshName) override {
        record("meshCreate", name, resource, meshName);
        return result;
    }
    void meshDestroy(const std::string& name) override { record("meshDestroy", name); }
    void meshGetList(std::string& list) override {
        record("meshGetList");
        list = textOut;
    }
    bool meshGetResourceName(const std::string& name, std::string& resource) override {
        record("meshGetResourceName", name);
        resource = textOut;
        return result;
    }
    bool meshGetMeshName(const std::string& name, std::string& meshName) override {
        record("meshGetMeshName", name);
        meshName = textOut;
        return result;
    }
    bool meshGetTrackerName(const std::string& name, std::string& trackerName) override {
        record("meshGetTrackerName", name);
        trackerName = textOut;
        return result;
    }
    bool meshConnect(const std::string& name, const std::string& trackerName) override {
        record("meshConnect", name, trackerName);
        return result;
    }
    bool meshUnconnect(const std::string& name) override {
        record("meshUnconnect", name);
        return result;
    }
    bool meshTranslate(const std::string& name, double x, double y, double z) override {
        record("meshTranslate", name, x, y, z);
        return result;
    }
    bool meshGetTranslation(const std::string& name, double& x, double& y, double& z) override {
        record("meshGetTranslation", name);
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }
    bool meshRotate(const std::string& name, double w, double x, double y, double z) override {
        record("meshRotate", name, w, x, y, z);
        return result;
    }
    bool meshPitch(const std::string& name, double degrees) override {
        record("meshPitch", name, degrees);
        return result;
    }
    bool meshYaw(const std::string& name, double degrees) override {
        record("meshYaw", name, degrees);
        return result;
    }
    bool meshRoll(const std::string& name, double degrees) override {
        record("meshRoll", name, degrees);
        return result;
    }
    bool meshGetRotation(const std::string& name, double& w, double& x, double& y, double& z) override {
        record("meshGetRotation", name);
        w = numberOut;
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }
    bool meshGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) override {
        record("meshGetAngles", name);
        pitch = numberOut;
        yaw = numberOut;
        roll = numberOut;
        return result;
    }
    bool meshScale(const std::string& name, double x, double y, double z) override {
        record("meshScale", name, x, y, z);
        return result;
    }
    bool meshGetScale(const std::string& name, double& x, double& y, double& z) override {
        record("meshGetScale", name);
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }
    bool sceneCreate(const std::string& name, const std::string& resource,
                     const std::string& sceneName) override {
        record("sceneCreate", name, resource, sceneName);
        return result;
    }
    void sceneDestroy(const std::string& name) override { record("sceneDestroy", name); }
    void sceneGetList(std::string& list) override {
        record("sceneGetList");
        list = textOut;
    }
    bool sceneGetResourceName(const std::string& name, std::string& resource) override {
        record("sceneGetResourceName", name);
        resource = textOut;
        return result;
    }
    bool sceneGetSceneName(const std::string& name, std::string& sceneName) override {
        record("sceneGetSceneName", name);
        sceneName = textOut;
        return result;
    }
    bool sceneGetTrackerName(const std::string& name, std::string& trackerName) override {
        record("sceneGetTrackerName", name);
        trackerName = textOut;
        return result;
    }
    bool sceneConnect(const std::string& name, const std::string& trackerName) override {
        record("sceneConnect", name, trackerName);
        return result;
    }
    bool sceneUnconnect(const std::string& name) override {
        record("sceneUnconnect", name);
        return result;
    }
    bool sceneTranslate(const std::string& name, double x, double y, double z) override {
        record("sceneTranslate", name, x, y, z);
        return result;
    }
    bool sceneGetTranslation(const std::string& name, double& x, double& y, double& z) override {
        record("sceneGetTranslation", name);
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }
    bool sceneRotate(const std::string& name, double w, double x, double y, double z) override {
        record("sceneRotate", name, w, x, y, z);
        return result;
    }
    bool scenePitch(const std::string& name, double degrees) override {
        record("scenePitch", name, degrees);
        return result;
    }
    bool sceneYaw(const std::string& name, double degrees) override {
        record("sceneYaw", name, degrees);
        return result;
    }
    bool sceneRoll(const std::string& name, double degrees) override {
        record("sceneRoll", name, degrees);
        return result;
    }
    bool sceneGetRotation(const std::string& name, double& w, double& x, double& y, double& z) override {
        record("sceneGetRotation", name);
        w = numberOut;
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }
    bool sceneGetAngles(const std::string& name, double& pitch, double& yaw, double& roll) override {
        record("sceneGetAngles", name);
        pitch = numberOut;
        yaw = numberOut;
        roll = numberOut;
        return result;
    }
    bool sceneScale(const std::string& name, double x, double y, double z) override {
        record("sceneScale", name, x, y, z);
        return result;
    }
    bool sceneGetScale(const std::string& name, double& x, double& y, double& z) override {
        record("sceneGetScale", name);
        x = numberOut;
        y = numberOut;
        z = numberOut;
        return result;
    }

private:
    template <typename... Arguments> void record(const char* name, const Arguments&... arguments) {
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
