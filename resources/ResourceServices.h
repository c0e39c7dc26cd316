#pragma once

#include <string>

// What the resource collection needs from the application (the engine-side project serves it).
// Called on the main thread.
class ResourceServices {
public:
    virtual ~ResourceServices() = default;
    // The work directory, where packages are unpacked; always ends in "/".
    virtual const std::string& getWorkDirectory() = 0;
};
