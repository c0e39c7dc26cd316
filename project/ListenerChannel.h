#pragma once

#include <string>

// A client that only listens to event sentences. Its own connection thread waits in
// waitUntilLeaves; any thread that broadcasts (under the model lock) calls sendLine.
class ListenerChannel {
public:
    virtual ~ListenerChannel() = default;
    // Returns when the client sends "quit();" or closes; every other line is ignored.
    virtual void waitUntilLeaves() = 0;
    // Sends whole event lines, one or several, as given, with one send. Must not call back into
    // the project.
    virtual void sendLine(const std::string& line) = 0;
};
