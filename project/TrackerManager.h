#pragma once

#include "project/ARTracker.h"

#include <map>
#include <memory>
#include <set>
#include <string>

// Every tracker of the project, by name. Main thread (project work and the frame).
class TrackerManager {
public:
    TrackerManager(Ostrevan::Manager* manager, std::string workDirectory);
    virtual ~TrackerManager();
    TrackerManager(const TrackerManager&) = delete;
    TrackerManager& operator=(const TrackerManager&) = delete;

    // Null when the name is taken or the tracker's init fails; why, when given, says why (or why
    // the tracker made will find nothing).
    ARTracker* createAR(const std::string& name, const std::string& patternFilename, int width,
                        std::string* why = nullptr);
    ARTracker* findAR(const std::string& name);
    Tracker* find(const std::string& name);
    // An absent name is ignored.
    void destroy(const std::string& name);
    void destroyAll();
    std::set<std::string> getTrackerNames() const;
    // How many trackers see their marker now, and how many there are.
    int countFound() const;
    int count() const { return static_cast<int>(trackers_.size()); }
    // Once per frame; AR trackers have nothing to do.
    void update();

    void setWorkDirectory(const std::string& workDirectory) { workDirectory_ = workDirectory; }

private:
    Ostrevan::Manager* manager_; // not owned
    std::string workDirectory_;
    std::map<std::string, std::unique_ptr<ARTracker>> trackers_;
};
