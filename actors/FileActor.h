#pragma once

#include "actors/Actor.h"

// A media file or a web link on a marker, shown as the icon mesh of its type (type + ".mesh").
// Triggering it (the marker gesture, or any action) hands the file or link to the desktop.
// Threads and locks as Actor.
class FileActor final : public Actor {
public:
    FileActor(Ogre::SceneManager* sceneManager, ActorServices* services, std::string resourceName,
              std::string fileName, std::string type);
    ~FileActor() override;

    // Names of the icon entity's animation states.
    std::set<std::string>& getAnimationNames(std::set<std::string>& names) override;
    // Opens the file, whatever the keyword and argument.
    void action(const std::string& keyword, const std::string& argument) override;
    std::string getSourceName() override { return fileName_; }

    const std::string& getType() const { return type_; }
    const std::string& getResourceName() const { return resourceName_; }
    const std::string& getFileName() const { return fileName_; }

    // What the desktop is asked to open: the link itself for "web", else the file's path in
    // the work directory. False when it must not be opened: a path that leads out of the work
    // directory, or a link that the opener would read as an option.
    bool openTarget(std::string& target) const;

protected:
    bool createContent() override;
    void destroyContent() override;
    void gesture() override;

private:
    Ogre::Entity* entity_ = nullptr; // the icon, prefix + "::Entity"
    std::string resourceName_;       // the package the file was unpacked from
    std::string fileName_;           // its name inside the package, or the link for "web"
    std::string type_;               // "audio", "web", ...; also names the icon mesh
};
