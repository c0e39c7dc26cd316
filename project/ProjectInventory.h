#pragma once

#include "platform/CommandContext.h"

#include <set>
#include <string>

// What the project document needs to empty the project and list its contents. Each destroy-all
// operation is one piece of project work (on the main thread, between two frames) and broadcasts
// its event after; the name lists are read from the project model on the caller's thread.
class ProjectInventory {
public:
    virtual ~ProjectInventory() = default;
    virtual void
    destroyAllResources(VelOS::CommandContext& context) = 0; // "project.resources.allDestroyed();"
    virtual void destroyAllTrackers(VelOS::CommandContext& context) = 0; // "project.trackers.allDestroyed();"
    virtual void destroyAllActors(VelOS::CommandContext& context) = 0;   // "project.actors.allDestroyed();"
    virtual void getResourceNames(std::set<std::string>& names) = 0;     // replaces names, ascending
    virtual void getTrackerNames(std::set<std::string>& names) = 0;
    virtual void getLightNames(std::set<std::string>& names) = 0;
    virtual void getFileNames(std::set<std::string>& names) = 0;
    virtual void getMeshNames(std::set<std::string>& names) = 0;
    virtual void getSceneNames(std::set<std::string>& names) = 0;
};
