#pragma once

#include <string>

class ListenerChannel;

// What the sentence handlers need from the Scene besides the project operations: the listener
// registry for events and the work directory for file transfers. Called from connection threads;
// the registry is the project model's, under its own lock.
class RemoteServices {
public:
    virtual ~RemoteServices() = default;
    // The work directory; always ends in "/".
    virtual const std::string& getWorkDirectory() = 0;
    virtual void addListener(ListenerChannel* listener) = 0;
    virtual void removeListener(ListenerChannel* listener) = 0;
};
