#pragma once

#include "resources/Resource.h"

#include <map>
#include <set>
#include <string>

class ResourceServices;
namespace Ogre {
class SceneManager;
}

// The project's resource packages, by name (byte order). Owns each Resource and releases it
// when it leaves the collection (destroy, clear, destruction).
//
// No lock of its own: main thread only (the engine calls of loading and releasing belong there).
class PackageUnpacker;

class ResourceManager {
public:
    ResourceManager() = default;
    // Releases what is left, while the engine is still there.
    ~ResourceManager();
    ResourceManager(const ResourceManager&) = delete;
    ResourceManager& operator=(const ResourceManager&) = delete;

    // Sets the scene manager that receives the skeleton animations and the services that give
    // the work directory, once: later calls change nothing. Always true.
    bool bind(Ogre::SceneManager* sceneManager, ResourceServices* services);
    // Loads the package under the name. True without doing anything while unbound. False for a
    // name that is taken or unusable (Resource::isValidName), a package path outside the work
    // directory, or a package that does not load; nothing is added then. unpacked, when given,
    // is the package already unpacked (see Resource::init). why, when given, says why it failed,
    // or why it loaded less than asked.
    bool create(const std::string& name, const std::string& packagePath,
                const PackageUnpacker* unpacked = nullptr, std::string* why = nullptr);
    // Releases and removes the named resource; unknown names are ignored.
    void destroy(const std::string& name);
    // Releases and removes every resource.
    void clear();

    std::set<std::string> getList() const;
    // The new names of the files of that resource; empty for an unknown name.
    std::set<std::string> getFilesInside(const std::string& name) const;
    // The package file name (last path component); false for an unknown name.
    bool getFilename(const std::string& name, std::string& fileName) const;

private:
    bool isBound() const { return sceneManager_ != nullptr && services_ != nullptr; }

    std::map<std::string, Resource> resources_;
    Ogre::SceneManager* sceneManager_ = nullptr; // the VIEWPORTS scene manager; not owned
    ResourceServices* services_ = nullptr;       // not owned
};
