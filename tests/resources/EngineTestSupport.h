#pragma once

// A real render engine for the resource tests: the GL render system from the player folder's
// plugins.cfg, one window, and a fresh scene manager per test. The engine's log is captured.

#include "platform/keepmapped.h"
#include "resources/ResourceServices.h"
#include "support/ScratchDirectory.h"
#include "zip/ZipWriter.h"

#include <OGRE/Ogre.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace enginetest {

inline std::string playerDirectory() {
    const char* player = std::getenv("VELQUIN_PLAYER_DIR");
    return player != nullptr ? std::string(player) + "/" : std::string();
}

// Every line written to the engine's log.
class LogCapture : public Ogre::LogListener {
public:
    void messageLogged(const Ogre::String& message, Ogre::LogMessageLevel, bool, const Ogre::String&,
                       bool&) override {
        std::lock_guard<std::mutex> hold(mutex_);
        lines_.push_back(message);
    }
    size_t mark() {
        std::lock_guard<std::mutex> hold(mutex_);
        return lines_.size();
    }
    // The lines since the mark.
    std::vector<std::string> since(size_t mark) {
        std::lock_guard<std::mutex> hold(mutex_);
        return std::vector<std::string>(lines_.begin() + static_cast<long>(std::min(mark, lines_.size())),
                                        lines_.end());
    }
    // How many lines since the mark begin with the prefix.
    int count(size_t mark, const std::string& prefix) {
        int found = 0;
        for (const std::string& line : since(mark)) {
            found += line.compare(0, prefix.size(), prefix) == 0;
        }
        return found;
    }

private:
    std::mutex mutex_; // the engine's worker threads may log too
    std::vector<std::string> lines_;
};

class Engine : public ::testing::Environment {
public:
    static Engine& get() { return *instance_; }

    void SetUp() override {
        setenv("LP_NUM_THREADS", "0", 1);
        logs_ = std::make_unique<Ogre::LogManager>();
        logs_->createLog("engine-tests.log", true, false, true)->addListener(&log);
        VelOS::keepEngineLibrariesMapped(playerDirectory() + "plugins.cfg");
        root_ = std::make_unique<Ogre::Root>(playerDirectory() + "plugins.cfg", "", "");
        Ogre::RenderSystem* gl = root_->getRenderSystemByName("OpenGL Rendering Subsystem");
        ASSERT_NE(gl, nullptr);
        root_->setRenderSystem(gl);
        root_->initialise(false);
        window = root_->createRenderWindow("engine tests", 320, 240, false);
        window->setAutoUpdated(false);
    }
    void TearDown() override {
        root_.reset();
        logs_.reset();
    }

    LogCapture log;
    Ogre::RenderWindow* window = nullptr;

private:
    friend Engine* install();
    static inline Engine* instance_ = nullptr;
    std::unique_ptr<Ogre::LogManager> logs_;
    std::unique_ptr<Ogre::Root> root_;
};

inline Engine* install() {
    Engine::instance_ = new Engine;
    ::testing::AddGlobalTestEnvironment(Engine::instance_);
    return Engine::instance_;
}

// What a resource collection asks of the Scene: the work directory.
class WorkDirectoryServices : public ResourceServices {
public:
    explicit WorkDirectoryServices(std::string directory) : directory_(std::move(directory)) {}
    const std::string& getWorkDirectory() override { return directory_; }

private:
    std::string directory_;
};

// Writes a ZIP archive whose entries (name, content) may carry any name at all.
inline bool writePackage(const std::string& path,
                         const std::vector<std::pair<std::string, std::string>>& entries) {
    ScratchDirectory sources;
    std::unique_ptr<ZipHandle> zip = ZipWriter::create(path);
    if (!zip) {
        return false;
    }
    int index = 0;
    for (const auto& [name, content] : entries) {
        const std::string source = sources.write("entry-" + std::to_string(index++), content);
        if (ZipWriter::addFile(zip.get(), name, source) != ZipResult::Ok) {
            return false;
        }
    }
    return ZipWriter::close(zip) == ZipResult::Ok;
}

// One entry of a ZIP archive, read through the engine.
inline std::string entryOf(const std::string& archivePath, const std::string& name) {
    Ogre::Archive* archive = Ogre::ArchiveManager::getSingleton().load(archivePath, "Zip", true);
    std::string content = archive->open(name)->getAsString();
    Ogre::ArchiveManager::getSingleton().unload(archive);
    return content;
}

inline bool archiveIsLoaded(const std::string& path) {
    for (auto archives = Ogre::ArchiveManager::getSingleton().getArchiveIterator();
         archives.hasMoreElements(); archives.moveNext()) {
        if (archives.peekNextKey() == path) {
            return true;
        }
    }
    return false;
}

// Names of a resource manager's resources that begin with the prefix.
inline std::vector<std::string> namesStartingWith(Ogre::ResourceManager& manager, const std::string& prefix) {
    std::vector<std::string> names;
    for (auto resources = manager.getResourceIterator(); resources.hasMoreElements();) {
        const Ogre::ResourcePtr resource = resources.getNext();
        if (resource->getName().compare(0, prefix.size(), prefix) == 0) {
            names.push_back(resource->getName());
        }
    }
    return names;
}

} // namespace enginetest
