#include "app/ProjectArchive.h"

#include "platform/pathguard.h"

#include <OGRE/Ogre.h>
#include <cstdio>

bool extractProjectArchive(const std::string& archivePath, const std::string& workDirectory) {
    Ogre::ArchiveManager& archives = Ogre::ArchiveManager::getSingleton();
    Ogre::Archive* archive = nullptr;
    try {
        archive = archives.load(archivePath, "Zip", true);
        Ogre::StringVectorPtr names = archive->list(false, false);
        for (const Ogre::String& name : *names) {
            std::string target;
            if (name.find('/') != std::string::npos || !VelOS::resolveInside(workDirectory, name, target)) {
                Ogre::LogManager::getSingleton().logMessage("SceneSerializer::load: skipping the entry " +
                                                            name);
                continue;
            }
            Ogre::DataStreamPtr entry = archive->open(name);
            std::FILE* file = std::fopen(target.c_str(), "wb");
            if (!entry || file == nullptr) {
                if (file != nullptr) {
                    std::fclose(file);
                }
                continue;
            }
            char chunk[1024];
            size_t got = 0;
            while ((got = entry->read(chunk, sizeof chunk)) > 0) {
                std::fwrite(chunk, 1, got, file);
            }
            std::fclose(file);
        }
        archives.unload(archive);
        return true;
    } catch (const Ogre::Exception& error) {
        Ogre::LogManager::getSingleton().logMessage("SceneSerializer::load: " + error.getDescription());
        if (archive != nullptr) {
            archives.unload(archive);
        }
        return false;
    }
}
