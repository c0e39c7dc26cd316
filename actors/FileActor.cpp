#include "actors/FileActor.h"

#include "actors/ActorServices.h"
#include "actors/ActorTexts.h"
#include "actors/MeshActor.h"
#include "platform/fileutil.h"
#include "platform/pathguard.h"

#include <OGRE/Ogre.h>

namespace {
std::atomic<unsigned> fileActorCounter{0};
const Actor::Kind FileKind{ActorTexts::FileActorPrefix, ActorTexts::FileActivated,
                           ActorTexts::FileDeactivated, ActorTexts::FileInitFailed, &fileActorCounter};

// The type names an icon mesh of the player's own archive. A type that reads as a path could
// make the engine look for the mesh outside the archives it was given.
bool isPlainWord(const std::string& type) {
    for (unsigned char c : type) {
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}
} // namespace

FileActor::FileActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string resourceName,
                     std::string fileName, std::string type)
    : Actor(sceneManager, services, FileKind), resourceName_(std::move(resourceName)),
      fileName_(std::move(fileName)), type_(std::move(type)) {}

FileActor::~FileActor() {
    removeFromScene();
}

bool FileActor::createContent() {
    if (!isPlainWord(type_)) {
        return false;
    }
    entity_ = createEntityOfMesh(ActorTexts::EntitySuffix, type_ + ActorTexts::MeshExtension);
    if (entity_ == nullptr) {
        return false;
    }
    actorNode_->attachObject(entity_);
    actorNode_->attachObject(selectionEntity_);
    return true;
}

void FileActor::destroyContent() {
    if (entity_ != nullptr) {
        Ogre::Entity* entity = entity_;
        entity_ = nullptr;
        sceneManager_->destroyEntity(entity);
    }
}

std::set<std::string>& FileActor::getAnimationNames(std::set<std::string>& names) {
    return entityAnimationNames(entity_, names);
}

bool FileActor::openTarget(std::string& target) const {
    if (type_ == ActorTexts::WebType) {
        if (fileName_.empty() || fileName_[0] == '-') {
            return false;
        }
        target = fileName_;
        return true;
    }
    if (services_ == nullptr) {
        return false;
    }
    return VelOS::resolveInside(services_->getWorkDirectory(), resourceName_ + "/" + fileName_, target);
}

void FileActor::action(const std::string& /*keyword*/, const std::string& /*argument*/) {
    std::string target;
    if (!openTarget(target)) {
        logLine(ActorTexts::FileOpenRefused + fileName_);
        return;
    }
    // One viewer per actor at a time and a few in all: a client repeating the action must not
    // fill the process table or the display with viewers.
    if (!VelOS::shellOpenBounded(getPrefix(), ActorTexts::OpenVerb, target)) {
        logLine(ActorTexts::FileOpenBusy + fileName_);
    }
}

void FileActor::gesture() {
    action(type_ == ActorTexts::WebType ? ActorTexts::WebType : "", "");
}
