#include "app/ProjectArchive.h"

#include "platform/pathguard.h"

#include <OGRE/Ogre.h>
#include <OGRE/OgreZip.h>
#include <cstdio>
#include <memory>

bool extractProjectArchive(const std::string& archivePath, const std::string& workDirectory) {
    // An archive of our own, not one of the archive manager's: the manager never frees an archive
    // whose loading throws, so every file that is no ZIP archive, loaded as a project, would leak
    // one.
    Ogre::ZipArchiveFactory factory;
    const auto destroy = [&factory](Ogre::Archive* archive) { factory.destroyInstance(archive); };
    std::unique_ptr<Ogre::Archive, decltype(destroy)> archive(factory.createInstance(archivePath, true),
                                                              destroy);
    try {
        archive->load();
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
        archive->unload();
        return true;
    } catch (const Ogre::Exception& error) {
        Ogre::LogManager::getSingleton().logMessage("SceneSerializer::load: " + error.getDescription());
        return false;
    }
}
