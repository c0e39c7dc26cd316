#pragma once

#include <string>

// The two lines of state shown on the splash, in the debug overlay and whenever the camera is
// lost: the camera, the markers, the remote control.
struct StatusFacts {
    bool capturing = false;       // a camera run is started
    bool lost = false;            // its camera went away
    std::string device;           // type and what the device says of itself
    std::string failure;          // why the last camera set-up failed
    std::string calibrationNote;  // the camera file does not fit the frame's size
    double framesPerSecond = 0.0; // frames delivered per second lately
    int markersFound = 0;         // trackers whose marker is in view now
    int trackers = 0;             // trackers registered
    int port = 0;                 // the remote control's port; 0 when not listening
    std::string netFailure;       // why it is not listening
    int clients = 0;              // connections open now
};

// "Camera: ..." and, after a line feed, "Markers: ... Remote control: ...".
std::string statusLine(const StatusFacts& facts);
