#pragma once

// The operations of the project, called by the command interpreter and the project document.
// Each takes the frame lock and then the scene lock, and broadcasts its event after releasing
// both (see Scene.h).
class ProjectOperations {
public:
    virtual ~ProjectOperations() = default;
};
