// The player reads its own archives back through the engine's "Zip" archive reader.
#include "platform/fileutil.h"
#include "resources/FileArchive.h"
#include "support/ScratchDirectory.h"

#include <OGRE/Ogre.h>
#include <gtest/gtest.h>
#include <random>

TEST(ZipEngineReader, ReadsArchiveFilesBackByteIdentical) {
    ScratchDirectory scratch;
    // The root registers the engine's own archive factories; no render system is needed.
    auto root = std::make_unique<Ogre::Root>("", "", scratch.path() + "log.txt");
    Ogre::ArchiveManager* archives = Ogre::ArchiveManager::getSingletonPtr();
    ASSERT_NE(archives, nullptr);

    std::mt19937 generator(1);
    std::string noise(100000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(generator());
    }
    ASSERT_TRUE(VelOS::createDirectory(scratch.path() + "in"));
    const std::vector<std::string> files = {
        scratch.write("in/scene.xml", "<Velquin version=\"1\"/>\n"), scratch.write("in/texture.png", noise),
        scratch.write("in/empty.material", ""), scratch.write("in/package.zip", noise.substr(0, 5000))};
    const std::string archivePath = scratch.path() + "project.zip";
    ASSERT_TRUE(archiveFiles(archivePath, files));

    Ogre::Archive* archive = archives->load(archivePath, "Zip", true);
    ASSERT_NE(archive, nullptr);
    Ogre::StringVectorPtr names = archive->list(false, false);
    ASSERT_EQ(names->size(), files.size());
    for (const std::string& file : files) {
        const std::string name = VelOS::fileNameOf(file);
        ASSERT_TRUE(archive->exists(name)) << name;
        Ogre::DataStreamPtr stream = archive->open(name);
        ASSERT_TRUE(stream) << name;
        EXPECT_EQ(stream->getAsString(), readWholeFile(file)) << name;
    }
    archives->unload(archive);
}
