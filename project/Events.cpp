#include "project/Events.h"

#include "platform/escape.h"

#include <locale>
#include <sstream>

namespace Events {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + VelOS::escapeQuotes(text) + "\"";
}
const char* truth(bool value) {
    return value ? "true" : "false";
}
std::string actorEvent(const std::string& kind, const char* what) {
    return "project.actors." + kind + "." + what + "(";
}

} // namespace

std::string number(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

std::string titleChanged(const std::string& title) {
    return "project.title.changed(" + quoted(title) + ");";
}
std::string debugShowed() {
    return "project.debug.showed();";
}
std::string debugHided() {
    return "project.debug.hided();";
}

std::string videoCaptureInitialised(const std::string& device, const std::string& configuration) {
    return "project.videocapture.initialised(" + quoted(device) + ", " + quoted(configuration) + ");";
}
std::string videoCaptureFinalised() {
    return "project.videocapture.finalised();";
}
std::string flipXChanged(bool value) {
    return std::string("project.videocapture.flipX.changed(") + truth(value) + ");";
}
std::string flipYChanged(bool value) {
    return std::string("project.videocapture.flipY.changed(") + truth(value) + ");";
}
std::string thresholdAutoChanged(bool value) {
    return std::string("project.videocapture.threshold.auto_changed(") + truth(value) + ");";
}
std::string thresholdValueChanged(int value) {
    return "project.videocapture.threshold.value_changed(" + std::to_string(value) + ");";
}
std::string thresholdAutoHanged(bool value) {
    return std::string("project.videocapture.threshold.auto_hanged(") + truth(value) + ");";
}

std::string resourceCreated(const std::string& name, const std::string& packagePath) {
    return "project.resources.created(" + quoted(name) + ", " + quoted(packagePath) + ");";
}
std::string resourceDestroyed(const std::string& name) {
    return "project.resources.destroyed(" + quoted(name) + ");";
}
std::string resourcesAllDestroyed() {
    return "project.resources.allDestroyed();";
}

std::string trackerCreated(const std::string& name, const std::string& patternFile, int width) {
    return "project.trackers.AR.created(" + quoted(name) + ", " + quoted(patternFile) + ", " +
           std::to_string(width) + ");";
}
std::string trackerDestroyed(const std::string& name) {
    return "project.trackers.AR.destroyed(" + quoted(name) + ");";
}
std::string trackersAllDestroyed() {
    return "project.trackers.allDestroyed();";
}

std::string actorsViewports(const std::string& actorName) {
    return "project.actors.viewports(" + actorName + ");";
}
std::string actorsAllSelected() {
    return "project.actors.allSelected();";
}
std::string actorsAllUnselected() {
    return "project.actors.allUnselected();";
}
std::string actorSelected(const std::string& name) {
    return "project.actors.selected(" + quoted(name) + ");";
}
std::string actorUnselected(const std::string& name) {
    return "project.actors.unselected(" + quoted(name) + ");";
}
std::string actorsAllDestroyed() {
    return "project.actors.allDestroyed();";
}

std::string lightCreated(const std::string& name) {
    return "project.actors.light.created(" + quoted(name) + ");";
}
std::string fileCreated(const std::string& name, const std::string& resource, const std::string& fileName,
                        const std::string& type) {
    return "project.actors.file.created(" + quoted(name) + quoted(resource) + quoted(fileName) +
           quoted(type) + ");";
}
std::string meshCreated(const std::string& name, const std::string& resource, const std::string& meshName) {
    return "project.actors.mesh.created(" + quoted(name) + quoted(resource) + quoted(meshName) + ");";
}
std::string sceneCreated(const std::string& name, const std::string& resource, const std::string& sceneName) {
    return "project.actors.scene.created(" + quoted(name) + ", " + quoted(resource) + ", " +
           quoted(sceneName) + ");";
}
std::string actorDestroyed(const std::string& kind, const std::string& name) {
    return actorEvent(kind, "destroyed") + quoted(name) + ");";
}
std::string actorConnected(const std::string& kind, const std::string& name, const std::string& tracker) {
    return actorEvent(kind, "connected") + quoted(name) + ", " + quoted(tracker) + ");";
}
std::string actorUnconnected(const std::string& kind, const std::string& name) {
    return actorEvent(kind, "unconnected") + quoted(name) + ");";
}
std::string actorTranslated(const std::string& kind, const std::string& name, double x, double y, double z) {
    return actorEvent(kind, "translated") + quoted(name) + ", " + number(x) + ", " + number(y) + ", " +
           number(z) + ");";
}
std::string actorRotated(const std::string& kind, const std::string& name, double pitch, double yaw,
                         double roll) {
    return actorEvent(kind, "rotated") + quoted(name) + number(pitch) + ", " + number(yaw) + ", " +
           number(roll) + ");";
}
std::string actorScaled(const std::string& kind, const std::string& name, double x, double y, double z) {
    return actorEvent(kind, "scaled") + quoted(name) + ", " + number(x) + ", " + number(y) + ", " +
           number(z) + ");";
}

std::string listText(const std::set<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        if (!text.empty()) {
            text += ", ";
        }
        text += quoted(entry);
    }
    return text;
}

} // namespace Events
