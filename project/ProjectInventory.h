#pragma once

// What the project document needs to empty the project and list its contents.
class ProjectInventory {
public:
    virtual ~ProjectInventory() = default;
};
