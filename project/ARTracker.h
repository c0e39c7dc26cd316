#pragma once

#include "project/Tracker.h"
#include "tracking/Manager.h"

#include <memory>
#include <string>

// A square marker given by a pattern file of the work directory and its printed width. Owns the
// target it registers with the tracking manager, and passes the target's notices on to its
// actors (the orientation conjugated, so that actors receive the marker's own rotation).
class ARTracker : public Tracker, public Ostrevan::TargetListener {
public:
    ARTracker(Ostrevan::Manager* manager, std::string workDirectory, std::string patternFilename, int width);
    ~ARTracker() override;
    ARTracker(const ARTracker&) = delete;
    ARTracker& operator=(const ARTracker&) = delete;

    // False when the pattern file name leads out of the work directory.
    bool init() override;
    // Whether the marker is in view now.
    bool isFound();
    void release() override;

    void lost() override;
    void found() override;
    void moved(double x, double y, double z, double qw, double qx, double qy, double qz) override;

    const std::string& patternFilename() const { return patternFilename_; }
    int width() const { return width_; }

protected:
    // An actor connected while the marker is in view is activated at once and placed at the last
    // pose: the marker would otherwise have to leave the picture and come back before the actor
    // shows, which a clean camera picture may never do.
    void greet(TrackerListener* listener) override;

private:
    Ostrevan::Manager* manager_; // not owned
    std::string workDirectory_;  // where the pattern file lies; ends in "/"
    std::string patternFilename_;
    int width_;
    std::unique_ptr<Ostrevan::Target> target_; // made by init
    bool visible_ = false;                     // the marker is in view
    bool posed_ = false;                       // pose_ holds the last pose
    float pose_[7] = {};                       // position, then conjugated orientation
};
