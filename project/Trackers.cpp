#include "project/ARTracker.h"
#include "project/TrackerListener.h"
#include "project/TrackerManager.h"

#include "platform/enginelog.h"
#include "platform/pathguard.h"

#include <algorithm>
#include <sys/stat.h>

void Tracker::addListener(TrackerListener* listener) {
    if (listeners_.insert(listener).second) {
        greet(listener);
    }
}

void Tracker::removeListener(TrackerListener* listener) {
    listeners_.erase(listener);
}

bool Tracker::hasListener(TrackerListener* listener) {
    return listeners_.count(listener) != 0;
}

ARTracker::ARTracker(Ostrevan::Manager* manager, std::string workDirectory, std::string patternFilename,
                     int width)
    : manager_(manager), workDirectory_(std::move(workDirectory)),
      patternFilename_(std::move(patternFilename)), width_(width) {}

ARTracker::~ARTracker() {
    release();
}

bool ARTracker::init() {
    release();
    failure_.clear();
    std::string path;
    if (!VelOS::resolveInside(workDirectory_, patternFilename_, path)) {
        fail("pattern file name leads out of the work directory");
        return false;
    }
    // The tracker is made all the same (it finds nothing until the project is loaded again),
    // but the operator learns why its marker is never seen.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        fail("pattern file not found: " + path);
    }
    target_ = std::make_unique<Ostrevan::Target>(workDirectory_ + patternFilename_, width_);
    target_->addListener(this);
    manager_->registerTarget(target_.get());
    return target_ != nullptr;
}

bool ARTracker::isFound() {
    return visible_;
}

void ARTracker::release() {
    if (target_) {
        manager_->unregisterTarget(target_.get());
        target_.reset();
    }
}

void ARTracker::greet(TrackerListener* listener) {
    if (!visible_) {
        return;
    }
    listener->activated();
    if (posed_) {
        listener->setPosePosition(pose_[0], pose_[1], pose_[2]);
        listener->setPoseOrientation(pose_[3], pose_[4], pose_[5], pose_[6]);
    }
}

void ARTracker::lost() {
    visible_ = false;
    posed_ = false;
    for (TrackerListener* listener : listeners_) {
        listener->deactivated();
    }
}

void ARTracker::found() {
    visible_ = true;
    for (TrackerListener* listener : listeners_) {
        listener->activated();
    }
}

void ARTracker::moved(double x, double y, double z, double qw, double qx, double qy, double qz) {
    const float pose[7] = {static_cast<float>(x),  static_cast<float>(y),   static_cast<float>(z),
                           static_cast<float>(qw), static_cast<float>(-qx), static_cast<float>(-qy),
                           static_cast<float>(-qz)};
    std::copy(pose, pose + 7, pose_);
    posed_ = true;
    for (TrackerListener* listener : listeners_) {
        listener->setPosePosition(pose[0], pose[1], pose[2]);
        listener->setPoseOrientation(pose[3], pose[4], pose[5], pose[6]);
    }
}

TrackerManager::TrackerManager(Ostrevan::Manager* manager, std::string workDirectory)
    : manager_(manager), workDirectory_(std::move(workDirectory)) {}

TrackerManager::~TrackerManager() = default;

ARTracker* TrackerManager::createAR(const std::string& name, const std::string& patternFilename, int width,
                                    std::string* why) {
    if (trackers_.count(name) != 0) {
        if (why != nullptr) {
            *why = "a tracker named \"" + name + "\" exists";
        }
        return nullptr;
    }
    auto tracker = std::make_unique<ARTracker>(manager_, workDirectory_, patternFilename, width);
    const bool initialised = tracker->init();
    if (why != nullptr) {
        *why = tracker->failure();
    }
    if (!initialised) {
        return nullptr;
    }
    ARTracker* made = tracker.get();
    trackers_.emplace(name, std::move(tracker));
    return made;
}

ARTracker* TrackerManager::findAR(const std::string& name) {
    auto found = trackers_.find(name);
    return found == trackers_.end() ? nullptr : found->second.get();
}

Tracker* TrackerManager::find(const std::string& name) {
    return findAR(name);
}

void TrackerManager::destroy(const std::string& name) {
    auto found = trackers_.find(name);
    if (found != trackers_.end()) {
        found->second->release();
        trackers_.erase(found);
    }
}

void TrackerManager::destroyAll() {
    trackers_.clear();
}

int TrackerManager::countFound() const {
    int found = 0;
    for (const auto& entry : trackers_) {
        found += entry.second->isFound() ? 1 : 0;
    }
    return found;
}

std::set<std::string> TrackerManager::getTrackerNames() const {
    std::set<std::string> names;
    for (const auto& entry : trackers_) {
        names.insert(entry.first);
    }
    return names;
}

void TrackerManager::update() {
    for (auto& entry : trackers_) {
        entry.second->update();
    }
}
