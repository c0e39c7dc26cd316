#include "resources/ResourceManager.h"

#include "platform/enginelog.h"
#include "resources/ResourceServices.h"

#include <OGRE/OgreResourceGroupManager.h>

ResourceManager::~ResourceManager() {
    // Without the engine there is nothing left to release.
    if (Ogre::ResourceGroupManager::getSingletonPtr() != nullptr) {
        clear();
    }
}

bool ResourceManager::bind(Ogre::SceneManager* sceneManager, ResourceServices* services) {
    if (sceneManager_ == nullptr && services_ == nullptr) {
        sceneManager_ = sceneManager;
        services_ = services;
    }
    return true;
}

bool ResourceManager::create(const std::string& name, const std::string& packagePath,
                             const PackageUnpacker* unpacked, std::string* why) {
    const auto fail = [why](const std::string& reason) {
        if (why != nullptr) {
            *why = reason;
        }
        return false;
    };
    if (!isBound()) {
        return true;
    }
    const std::string& workDirectory = services_->getWorkDirectory();
    if (resources_.count(name) != 0) {
        return fail("a resource named \"" + name + "\" exists");
    }
    if (!Resource::isValidName(name)) {
        return fail("\"" + name + "\" cannot name a resource");
    }
    if (!Resource::isInsideWorkDirectory(workDirectory, packagePath)) {
        return fail("the package is not a file of the work directory");
    }
    Resource& resource = resources_[name];
    const bool loaded = resource.init(sceneManager_, name, workDirectory, packagePath, unpacked);
    if (!resource.failure().empty()) {
        fail(resource.failure());
    }
    if (!loaded) {
        resources_.erase(name);
        return false;
    }
    return true;
}

void ResourceManager::destroy(const std::string& name) {
    if (!isBound()) {
        return;
    }
    const auto found = resources_.find(name);
    if (found != resources_.end()) {
        found->second.release();
        resources_.erase(found);
    }
}

void ResourceManager::clear() {
    if (!isBound()) {
        return;
    }
    for (auto& entry : resources_) {
        entry.second.release();
    }
    resources_.clear();
}

std::set<std::string> ResourceManager::getList() const {
    std::set<std::string> names;
    for (const auto& entry : resources_) {
        names.insert(entry.first);
    }
    return names;
}

std::set<std::string> ResourceManager::getFilesInside(const std::string& name) const {
    const auto found = resources_.find(name);
    return found != resources_.end() ? found->second.getFileList() : std::set<std::string>();
}

bool ResourceManager::getFilename(const std::string& name, std::string& fileName) const {
    const auto found = resources_.find(name);
    if (found == resources_.end()) {
        return false;
    }
    fileName = found->second.getPackageFileName();
    return true;
}
