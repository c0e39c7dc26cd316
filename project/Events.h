#pragma once

#include <set>
#include <string>

// The event sentences the project broadcasts, exactly as authoring tools read them (the odd
// ones included: adjacent quoted texts in the mesh and file created events, no comma after the
// name in the rotated event, "hided", "auto_hanged"). Texts in quotes are escaped with
// escapeQuotes; numbers are written as a default output stream writes a double. No line end:
// the broadcast adds it. Plain functions, usable from any thread.
namespace Events {

std::string titleChanged(const std::string& title);
std::string debugShowed();
std::string debugHided();
std::string videoCaptureInitialised(const std::string& device, const std::string& configuration);
std::string videoCaptureFinalised();
std::string flipXChanged(bool value);
std::string flipYChanged(bool value);
std::string thresholdAutoChanged(bool value);
std::string thresholdValueChanged(int value);
std::string thresholdAutoHanged(bool value);
std::string resourceCreated(const std::string& name, const std::string& packagePath);
std::string resourceDestroyed(const std::string& name);
std::string resourcesAllDestroyed();
std::string trackerCreated(const std::string& name, const std::string& patternFile, int width);
std::string trackerDestroyed(const std::string& name);
std::string trackersAllDestroyed();
std::string actorsViewports(const std::string& actorName);
std::string actorsAllSelected();
std::string actorsAllUnselected();
std::string actorSelected(const std::string& name);
std::string actorUnselected(const std::string& name);
std::string actorsAllDestroyed();

// Actor events; kind is "light", "file", "mesh" or "scene".
std::string lightCreated(const std::string& name);
std::string fileCreated(const std::string& name, const std::string& resource, const std::string& fileName,
                        const std::string& type);
std::string meshCreated(const std::string& name, const std::string& resource, const std::string& meshName);
std::string sceneCreated(const std::string& name, const std::string& resource, const std::string& sceneName);
std::string actorDestroyed(const std::string& kind, const std::string& name);
std::string actorConnected(const std::string& kind, const std::string& name, const std::string& tracker);
std::string actorUnconnected(const std::string& kind, const std::string& name);
std::string actorTranslated(const std::string& kind, const std::string& name, double x, double y, double z);
std::string actorRotated(const std::string& kind, const std::string& name, double pitch, double yaw,
                         double roll);
std::string actorScaled(const std::string& kind, const std::string& name, double x, double y, double z);

// A list reply: each entry quoted and escaped, in ascending order, joined by ", ".
std::string listText(const std::set<std::string>& entries);
// A number as a default output stream writes it: 6 significant digits, general format.
std::string number(double value);

} // namespace Events
