#pragma once

#include <OGRE/OgrePrerequisites.h>

#include <map>
#include <set>
#include <string>
#include <vector>

// One resource package loaded into the engine: a ZIP archive of meshes, skeletons, material
// scripts, textures, shader sources and scene files, unpacked into a directory of its own below
// the work directory and loaded under its resource name. Everything it gives the engine carries
// the prefix name + "_": materials, referenced files, meshes and the mesh names in scene files.
// Its engine resource group is called name and holds the unpacked directory.
//
// Copyable; the ResourceManager keeps resources by value and releases each one when it leaves
// the collection. Main thread (engine calls), in project work.
class PackageUnpacker;

class Resource {
public:
    // Loads the package. False when already initialised, when the package cannot be opened as a
    // ZIP archive, when the name is taken by an engine resource group of someone else, or when
    // the engine fails while loading; nothing of the package stays registered with the engine
    // then, nor on the disk.
    // The package is read from what unpacked holds, an unpacking of packagePath made beforehand
    // (off the main thread); without one, init unpacks it itself, within the same limits.
    bool init(Ogre::SceneManager* sceneManager, const std::string& name, const std::string& workDirectory,
              const std::string& packagePath, const PackageUnpacker* unpacked = nullptr);
    // Why the last init failed, or why it loaded less than asked (files in folders); empty when
    // all went well.
    const std::string& failure() const { return failure_; }
    // Removes the materials, the engine resource group and the resource directory. False when
    // not initialised.
    bool release();

    // A resource name becomes a directory name and an engine group name: not empty, not "." or
    // "..", no "/", "\" or control character.
    static bool isValidName(const std::string& name);
    // True when the package path names a file inside the work directory (which ends in "/").
    static bool isInsideWorkDirectory(const std::string& workDirectory, const std::string& packagePath);

    bool isInitialised() const { return initialised_; }
    const std::string& getName() const { return name_; }
    // The last path component of the package path.
    const std::string& getPackageFileName() const { return packageFileName_; }
    // New names of the materials its scripts define.
    const std::set<std::string>& getMaterialList() const { return materialList_; }
    // New names of the package files that no material script refers to.
    const std::set<std::string>& getFileList() const { return fileList_; }

private:
    using NameMap = std::map<std::string, std::string>;

    // A track copied into a scene-manager animation from one of this package's skeletons. Its
    // node or data belongs to the package, so it is taken out again when the package goes.
    struct CopiedTrack {
        std::string animation;
        enum Kind { Node, Numeric, Vertex } kind;
        unsigned short handle;
        const void* target; // the associated node, animable value or vertex data
    };

    struct Loading; // the state of one init run
    void rewriteMaterialScripts(Loading& loading);
    void parseMaterialScripts(Loading& loading);
    void extractReferencedFiles(Loading& loading);
    void extractOtherFiles(Loading& loading);
    void registerGroup(Loading& loading);
    void loadEntries(Loading& loading);
    void rewriteSceneFile(Loading& loading, const std::string& entry);
    void loadMesh(Loading& loading, const std::string& entry);
    Ogre::SkeletonPtr ownSkeleton(Loading& loading, const std::string& skeletonName);
    void copyAnimations(Ogre::Skeleton& skeleton);
    // Writes one archive entry to a file inside the resource directory; false (with a log line)
    // when the name leads out of it or the file cannot be written.
    bool extract(Loading& loading, const std::string& entry, const std::string& fileName);
    // Takes back from the engine what init or an earlier release left there.
    void removeCopiedTracks();
    // Removes the resource directory with everything in it.
    void removeFiles();
    // Keeps the first reason of the init under way.
    void fail(const std::string& reason) {
        if (failure_.empty()) {
            failure_ = reason;
        }
    }
    void removeMaterials();

    bool initialised_ = false;
    std::string name_;
    std::string packageFileName_;
    std::string directory_; // its files below the work directory, without the final "/"; empty when none
    std::string failure_;   // see failure()
    std::set<std::string> materialList_;
    std::set<std::string> fileList_;
    Ogre::SceneManager* sceneManager_ = nullptr; // receives the skeleton animations
    std::vector<CopiedTrack> copiedTracks_;
};
