#pragma once

// A ProjectInventory with set name lists that records the destroy-all calls, for testing the
// project document without a Scene.
#include "project/ProjectInventory.h"

#include <vector>

class RecordingInventory : public ProjectInventory {
public:
    std::set<std::string> resources, trackers, lights, files, meshes, scenes;
    std::vector<std::string> calls;

    void destroyAllResources(VelOS::CommandContext&) override { calls.push_back("destroyAllResources()"); }
    void destroyAllTrackers(VelOS::CommandContext&) override { calls.push_back("destroyAllTrackers()"); }
    void destroyAllActors(VelOS::CommandContext&) override { calls.push_back("destroyAllActors()"); }
    void getResourceNames(std::set<std::string>& names) override { names = resources; }
    void getTrackerNames(std::set<std::string>& names) override { names = trackers; }
    void getLightNames(std::set<std::string>& names) override { names = lights; }
    void getFileNames(std::set<std::string>& names) override { names = files; }
    void getMeshNames(std::set<std::string>& names) override { names = meshes; }
    void getSceneNames(std::set<std::string>& names) override { names = scenes; }
};
