#include "resources/Resource.h"

#include "platform/enginelog.h"
#include "platform/fileutil.h"
#include "platform/pathguard.h"
#include "platform/xmldepth.h"
#include "resources/OgreMaterialStreamDecorator.h"
#include "resources/PackageUnpacker.h"

#include <OGRE/Ogre.h>
#include <OGRE/OgreFileSystem.h>
#include <OGRE/OgreMeshSerializer.h>
#include <OGRE/OgreSkeletonSerializer.h>
#include <tinyxml.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* LoadingLine = "Resource::init: loading: ";
constexpr const char* CannotParseScene = "Resource::init: Cannot parse scene file.";
constexpr const char* HasEntities = "Has entities";
constexpr const char* MaterialNotDeclared = "Resource::init: material in submesh not declared in zip: ";
constexpr const char* AnimationError = "ERROR IN CREATEANIMATIONSTATE --> ";
constexpr size_t Block = 1024;

void log(const std::string& line) {
    if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr()) {
        logs->logMessage(line, Ogre::LML_NORMAL);
    }
}

std::string upperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The package's own material scripts were parsed, rewritten, before its directory became a
// resource location. Parsing them again there would define every material a second time under
// its old name, and other scripts in the package (overlays, fonts) would define engine-wide
// names that could replace the player's own.
class SkipScripts : public Ogre::ResourceGroupListener {
public:
    SkipScripts() { Ogre::ResourceGroupManager::getSingleton().addResourceGroupListener(this); }
    ~SkipScripts() override { Ogre::ResourceGroupManager::getSingleton().removeResourceGroupListener(this); }
    SkipScripts(const SkipScripts&) = delete;
    SkipScripts& operator=(const SkipScripts&) = delete;
    void scriptParseStarted(const Ogre::String& /*script*/, bool& skip) override { skip = true; }
};

bool archiveIsLoaded(const std::string& path) {
    for (auto archives = Ogre::ArchiveManager::getSingleton().getArchiveIterator();
         archives.hasMoreElements(); archives.moveNext()) {
        if (archives.peekNextKey() == path) {
            return true;
        }
    }
    return false;
}

// The loader of meshes read by Resource::loadMesh: the data is in the mesh already when the
// engine is told to load it, so that the engine counts it as loaded and frees it when unloaded.
class ImportedAlready : public Ogre::ManualResourceLoader {
public:
    void loadResource(Ogre::Resource* /*resource*/) override {}
};
ImportedAlready importedAlready;

} // namespace

struct Resource::Loading {
    Ogre::Archive* archive = nullptr;      // the unpacked package
    std::string unpackedDirectory;         // where its files are, ending in "/"
    bool ownsArchive = false;              // opened by this run, closed at its end
    bool groupCreated = false;             // the engine resource group was made by this run
    std::string directory;                 // the resource directory, ending in "/"
    NameMap materialNames;                 // source material name -> new name
    NameMap fileNames;                     // archive entry -> new name
    std::set<std::string> referencedPaths; // files written for the material scripts
    std::vector<std::pair<std::string, std::string>> scripts; // rewritten material scripts by entry
};

bool Resource::isValidName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

bool Resource::isInsideWorkDirectory(const std::string& workDirectory, const std::string& packagePath) {
    if (workDirectory.empty() || packagePath.compare(0, workDirectory.size(), workDirectory) != 0) {
        return false;
    }
    std::string resolved;
    return VelOS::resolveInside(workDirectory, packagePath.substr(workDirectory.size()), resolved);
}

bool Resource::init(Ogre::SceneManager* sceneManager, const std::string& name,
                    const std::string& workDirectory, const std::string& packagePath,
                    const PackageUnpacker* unpacked) {
    if (initialised_) {
        return false;
    }
    failure_.clear();
    name_ = name;
    packageFileName_ = VelOS::fileNameOf(packagePath);
    sceneManager_ = sceneManager;
    if (!isValidName(name) || !isInsideWorkDirectory(workDirectory, packagePath)) {
        return false;
    }
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    if (groups.resourceGroupExists(name)) {
        log("Resource::init: the engine already has a resource group named " + name);
        return false;
    }

    // The package is unpacked within its limits first (by the caller, on its own thread, or
    // here), and loaded from the unpacked files.
    PackageUnpacker ownUnpacking;
    if (unpacked == nullptr) {
        if (!ownUnpacking.unpack(packagePath, workDirectory)) {
            fail(ownUnpacking.failure());
            return false;
        }
        unpacked = &ownUnpacking;
    }
    const std::string unpackedDirectory = unpacked->directory().substr(0, unpacked->directory().size() - 1);
    Loading loading;
    loading.unpackedDirectory = unpacked->directory();
    loading.ownsArchive = !archiveIsLoaded(unpackedDirectory);
    try {
        // Package entries may start with "." (a script named ".material"): list them all.
        Ogre::FileSystemArchiveFactory::setIgnoreHidden(false);
        loading.archive = Ogre::ArchiveManager::getSingleton().load(unpackedDirectory, "FileSystem", true);
    } catch (...) {
        fail("not a ZIP archive: " + packagePath);
        return false;
    }
    try {
        std::string directory;
        if (!VelOS::resolveInside(workDirectory, name, directory)) {
            OGRE_EXCEPT(Ogre::Exception::ERR_INVALIDPARAMS, "no resource directory for " + name,
                        "Resource::init");
        }
        // A directory left by an earlier resource of this name goes first: a new package must
        // not find the old one's files.
        VelOS::removeDirectoryTree(directory);
        VelOS::createDirectory(directory);
        directory_ = directory;
        loading.directory = directory + "/";
        groups.createResourceGroup(name);
        loading.groupCreated = true;

        // The scripts are rewritten first and given to the engine only once the files they name
        // are unpacked and registered: the engine loads a program's source as soon as a
        // material sets one of its parameters, and would keep the failure of a missing file.
        rewriteMaterialScripts(loading);
        extractReferencedFiles(loading);
        extractOtherFiles(loading);
        for (const auto& material : loading.materialNames) {
            materialList_.insert(material.second);
        }
        for (const auto& file : loading.fileNames) {
            fileList_.insert(file.second);
        }
        registerGroup(loading);
        parseMaterialScripts(loading);
        loadEntries(loading);
    } catch (const std::exception& error) {
        // Ogre::Exception derives from std::exception; its message is the full description.
        log("Resource::init: " + std::string(error.what()));
        fail(error.what());
        removeCopiedTracks();
        for (const auto& material : loading.materialNames) {
            materialList_.insert(material.second);
        }
        removeMaterials();
        materialList_.clear();
        fileList_.clear();
        if (loading.groupCreated && groups.resourceGroupExists(name)) {
            groups.destroyResourceGroup(name);
        }
        if (loading.ownsArchive) {
            Ogre::ArchiveManager::getSingleton().unload(loading.archive);
        }
        removeFiles();
        return false;
    }
    // Only the top level of a package is read: a package made by zipping its folder loads
    // empty, which its author learns here (the reply stays "ok").
    if (loading.archive->list(false, false)->empty() && !loading.archive->list(true, false)->empty()) {
        fail("the package's files sit in folders; only files at its top level are loaded");
    }
    // Nothing reads the package after this point; a later package of the same file name must
    // not find this one's directory listing.
    if (loading.ownsArchive) {
        Ogre::ArchiveManager::getSingleton().unload(loading.archive);
    }
    initialised_ = true;
    return true;
}

void Resource::rewriteMaterialScripts(Loading& loading) {
    Ogre::StringVectorPtr entries = loading.archive->list(false, false);
    for (const std::string& entry : *entries) {
        if (entry.size() <= 9 || !endsWith(entry, ".material")) {
            continue;
        }
        OgreMaterialStreamDecorator script(loading.archive->open(entry, true), name_ + "_");
        // The engine's script compiler reads a script as one text, not line by line: the
        // rewritten lines are put together and handed over whole.
        std::string text;
        while (!script.eof()) {
            text += script.getLine(true);
            text += '\n';
        }
        loading.scripts.emplace_back(entry, std::move(text));
        loading.materialNames.insert(script.materialNames().begin(), script.materialNames().end());
        loading.fileNames.insert(script.referencedFiles().begin(), script.referencedFiles().end());
    }
}

void Resource::parseMaterialScripts(Loading& loading) {
    for (auto& [entry, text] : loading.scripts) {
        Ogre::DataStreamPtr script(new Ogre::MemoryDataStream(entry, &text[0], text.size(), false, true));
        Ogre::MaterialManager::getSingleton().parseScript(script, name_);
    }
}

void Resource::extractReferencedFiles(Loading& loading) {
    for (const auto& file : loading.fileNames) {
        // Program names of declarations and references are no files of the package.
        if (!loading.archive->exists(file.first)) {
            continue;
        }
        if (extract(loading, file.first, file.second)) {
            loading.referencedPaths.insert(loading.directory + file.second);
        }
    }
}

void Resource::extractOtherFiles(Loading& loading) {
    Ogre::StringVectorPtr entries = loading.archive->list(false, false);
    std::vector<std::string> others;
    for (const std::string& entry : *entries) {
        const auto referenced = loading.fileNames.find(entry);
        if (referenced == loading.fileNames.end() || referenced->second.empty()) {
            others.push_back(entry);
        }
    }
    loading.fileNames.clear();

    std::set<std::string> taken;
    for (const std::string& entry : others) {
        log(LoadingLine + upperCase(entry));
        std::string renamed = name_ + "_" + entry;
        for (unsigned long k = 1; taken.count(renamed) != 0; ++k) {
            renamed = name_ + std::to_string(k) + "_" + entry;
        }
        taken.insert(renamed);
        loading.fileNames[entry] = renamed;
    }
    for (const auto& file : loading.fileNames) {
        if (loading.referencedPaths.count(loading.directory + file.first) != 0) {
            // The package holds a file under the very name a script reference was given:
            // the referenced file is the one the materials need.
            log("Resource::init: not overwriting the referenced file " + file.first);
            continue;
        }
        extract(loading, file.first, file.first);
    }
}

bool Resource::extract(Loading& loading, const std::string& entry, const std::string& fileName) {
    std::string path;
    if (!VelOS::resolveInside(loading.directory, fileName, path)) {
        log("Resource::init: skipped, the name leads out of the resource directory: " + fileName);
        return false;
    }
    // The unpacked file is on the same disk: a link gives it its place in the resource
    // directory without copying it on the main thread.
    ::unlink(path.c_str());
    if (::link((loading.unpackedDirectory + entry).c_str(), path.c_str()) == 0) {
        return true;
    }
    Ogre::DataStreamPtr in = loading.archive->open(entry, true);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!in || !out) {
        log("Resource::init: cannot write " + path);
        return false;
    }
    char block[Block];
    while (!in->eof()) {
        const size_t count = in->read(block, Block);
        if (count > Block) {
            // The ZIP reader reports a damaged entry as a negative count.
            OGRE_EXCEPT(Ogre::Exception::ERR_FILE_NOT_FOUND, "damaged package entry " + entry,
                        "Resource::init");
        }
        if (count == 0) {
            break;
        }
        out.write(block, static_cast<std::streamsize>(count));
    }
    return true;
}

void Resource::registerGroup(Loading& loading) {
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    SkipScripts skip;
    groups.addResourceLocation(loading.directory.substr(0, loading.directory.size() - 1), "FileSystem", name_,
                               false);
    groups.initialiseResourceGroup(name_);
}

void Resource::loadEntries(Loading& loading) {
    Ogre::StringVectorPtr entries = loading.archive->list(false, false);
    for (const std::string& entry : *entries) {
        const std::string upper = upperCase(entry);
        log(LoadingLine + upper);
        if (upper.size() > 4 && endsWith(upper, ".OSM")) {
            rewriteSceneFile(loading, entry);
        } else if (upper.size() > 5 && endsWith(upper, ".MESH")) {
            loadMesh(loading, entry);
        }
    }
}

void Resource::rewriteSceneFile(Loading& loading, const std::string& entry) {
    Ogre::DataStreamPtr stream = loading.archive->open(entry, true);
    if (!stream || stream->size() == 0) {
        return;
    }
    const std::string text = stream->getAsString();
    if (!VelOS::xmlDepthWithin(text)) {
        log(CannotParseScene);
        VelOS::logFailure("Resource::init: scene file " + entry + " nests deeper than " +
                          std::to_string(VelOS::MaximumXmlDepth) + " levels");
        return;
    }
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error()) {
        log(CannotParseScene);
        return;
    }
    if (TiXmlElement* root = document.RootElement()) {
        if (TiXmlElement* entities = root->FirstChildElement("entities")) {
            log(HasEntities);
            for (TiXmlElement* entity = entities->FirstChildElement(); entity != nullptr;
                 entity = entity->NextSiblingElement()) {
                if (const char* file = entity->Attribute("filename")) {
                    const std::string renamed = name_ + "_" + file;
                    entity->RemoveAttribute("filename");
                    entity->SetAttribute("filename", renamed.c_str());
                }
            }
        }
    }
    std::string path;
    if (!VelOS::resolveInside(loading.directory, entry, path)) {
        log("Resource::init: skipped, the name leads out of the resource directory: " + entry);
        return;
    }
    if (!document.SaveFile(path.c_str())) {
        log("Resource::init: cannot write " + path);
    }
}

void Resource::loadMesh(Loading& loading, const std::string& entry) {
    // The engine keeps a sub-mesh's material only if a material of that name exists, and loads
    // a mesh's skeleton as soon as it reads the link: both names are changed while the mesh is
    // read, before the engine looks them up.
    class Names : public Ogre::MeshSerializerListener {
    public:
        Names(Resource& resource, Loading& loading) : resource_(resource), loading_(loading) {}
        void processMaterialName(Ogre::Mesh* /*mesh*/, Ogre::String* name) override {
            const auto renamed = loading_.materialNames.find(*name);
            if (renamed != loading_.materialNames.end()) {
                *name = renamed->second;
            } else {
                log(MaterialNotDeclared + *name);
            }
        }
        void processSkeletonName(Ogre::Mesh* /*mesh*/, Ogre::String* name) override {
            try {
                if (Ogre::SkeletonPtr own = resource_.ownSkeleton(loading_, *name)) {
                    *name = own->getName();
                }
            } catch (const Ogre::Exception& error) {
                log(AnimationError + error.getFullDescription());
            }
        }
        void processMeshCompleted(Ogre::Mesh* /*mesh*/) override {}

    private:
        Resource& resource_;
        Loading& loading_;
    };

    Ogre::MeshPtr mesh =
        Ogre::MeshManager::getSingleton().createManual(name_ + "_" + entry, name_, &importedAlready);
    Ogre::DataStreamPtr stream = loading.archive->open(entry, true);
    Names names(*this, loading);
    Ogre::MeshSerializer serializer;
    serializer.setListener(&names);
    serializer.importMesh(stream, mesh.get());
    // A mesh the engine never counted as loaded is never unloaded either, and its sub-meshes and
    // buffers outlive it: the package's meshes would stay in memory after every release.
    mesh->load();

    if (!mesh->hasSkeleton()) {
        return;
    }
    try {
        Ogre::SkeletonManager& skeletons = Ogre::SkeletonManager::getSingleton();
        Ogre::SkeletonPtr skeleton = skeletons.getByName(mesh->getSkeletonName(), name_);
        if (!skeleton) {
            skeleton = skeletons.getByName(mesh->getSkeletonName(), Ogre::RGN_AUTODETECT);
        }
        if (!skeleton) {
            return;
        }
        mesh->setSkeletonName(skeleton->getName());
        mesh->_notifySkeleton(skeleton);
        copyAnimations(*skeleton);
    } catch (const Ogre::Exception& error) {
        log(AnimationError + error.getFullDescription());
    }
}

Ogre::SkeletonPtr Resource::ownSkeleton(Loading& loading, const std::string& skeletonName) {
    // A skeleton loaded by its plain name would be shared by every package holding the same
    // file, and go when the first of them is released: the package's meshes get a copy of their
    // own, named with the prefix. A skeleton the package does not hold is left to the engine.
    if (!loading.archive->exists(skeletonName)) {
        return Ogre::SkeletonPtr();
    }
    Ogre::SkeletonManager& skeletons = Ogre::SkeletonManager::getSingleton();
    const std::string ownName = name_ + "_" + skeletonName;
    if (Ogre::SkeletonPtr own = skeletons.getByName(ownName, name_)) {
        return own;
    }
    Ogre::SkeletonPtr own = skeletons.create(ownName, name_, true);
    Ogre::DataStreamPtr stream = loading.archive->open(skeletonName, true);
    Ogre::SkeletonSerializer().importSkeleton(stream, own.get());
    own->load();
    return own;
}

void Resource::copyAnimations(Ogre::Skeleton& skeleton) {
    if (sceneManager_ == nullptr) {
        return;
    }
    for (unsigned short index = 0; index < skeleton.getNumAnimations(); ++index) {
        const Ogre::Animation* source = skeleton.getAnimation(index);
        Ogre::Animation* copy = sceneManager_->createAnimation(source->getName(), source->getLength());
        for (const auto& [handle, track] : source->_getNodeTrackList()) {
            Ogre::NodeAnimationTrack* made = copy->createNodeTrack(handle, track->getAssociatedNode());
            copiedTracks_.push_back({copy->getName(), CopiedTrack::Node, handle, track->getAssociatedNode()});
            for (unsigned short k = 0; k < track->getNumKeyFrames(); ++k) {
                const Ogre::TransformKeyFrame* from = track->getNodeKeyFrame(k);
                Ogre::TransformKeyFrame* to = made->createNodeKeyFrame(from->getTime());
                to->setTranslate(from->getTranslate());
                to->setRotation(from->getRotation());
                to->setScale(from->getScale());
            }
        }
        for (const auto& [handle, track] : source->_getNumericTrackList()) {
            Ogre::NumericAnimationTrack* made =
                copy->createNumericTrack(handle, track->getAssociatedAnimable());
            copiedTracks_.push_back(
                {copy->getName(), CopiedTrack::Numeric, handle, track->getAssociatedAnimable().get()});
            for (unsigned short k = 0; k < track->getNumKeyFrames(); ++k) {
                const Ogre::NumericKeyFrame* from = track->getNumericKeyFrame(k);
                made->createNumericKeyFrame(from->getTime())->setValue(from->getValue());
            }
        }
        for (const auto& [handle, track] : source->_getVertexTrackList()) {
            Ogre::VertexAnimationTrack* made =
                copy->createVertexTrack(handle, track->getAssociatedVertexData(), track->getAnimationType());
            copiedTracks_.push_back(
                {copy->getName(), CopiedTrack::Vertex, handle, track->getAssociatedVertexData()});
            for (unsigned short k = 0; k < track->getNumKeyFrames(); ++k) {
                if (track->getAnimationType() == Ogre::VAT_MORPH) {
                    const Ogre::VertexMorphKeyFrame* from = track->getVertexMorphKeyFrame(k);
                    made->createVertexMorphKeyFrame(from->getTime())
                        ->setVertexBuffer(from->getVertexBuffer());
                } else {
                    const Ogre::VertexPoseKeyFrame* from = track->getVertexPoseKeyFrame(k);
                    Ogre::VertexPoseKeyFrame* to = made->createVertexPoseKeyFrame(from->getTime());
                    for (const Ogre::VertexPoseKeyFrame::PoseRef& pose : from->getPoseReferences()) {
                        to->addPoseReference(pose.poseIndex, pose.influence);
                    }
                }
            }
        }
        sceneManager_->createAnimationState(source->getName());
    }
}

bool Resource::release() {
    if (!initialised_) {
        return false;
    }
    removeCopiedTracks();
    removeMaterials();
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    if (groups.resourceGroupExists(name_)) {
        groups.destroyResourceGroup(name_);
    }
    removeFiles();
    initialised_ = false;
    return true;
}

void Resource::removeFiles() {
    // Its files go with it: a package destroyed and made again a few times must not fill the disk.
    if (!directory_.empty()) {
        VelOS::removeDirectoryTree(directory_);
        directory_.clear();
    }
}

void Resource::removeCopiedTracks() {
    // The animations and their states stay in the scene manager; only the tracks that drive
    // this package's bones or data leave with it.
    if (sceneManager_ != nullptr) {
        for (const CopiedTrack& copied : copiedTracks_) {
            if (!sceneManager_->hasAnimation(copied.animation)) {
                continue;
            }
            Ogre::Animation* animation = sceneManager_->getAnimation(copied.animation);
            switch (copied.kind) {
            case CopiedTrack::Node:
                if (animation->hasNodeTrack(copied.handle) &&
                    animation->getNodeTrack(copied.handle)->getAssociatedNode() == copied.target) {
                    animation->destroyNodeTrack(copied.handle);
                }
                break;
            case CopiedTrack::Numeric:
                if (animation->hasNumericTrack(copied.handle) &&
                    animation->getNumericTrack(copied.handle)->getAssociatedAnimable().get() ==
                        copied.target) {
                    animation->destroyNumericTrack(copied.handle);
                }
                break;
            case CopiedTrack::Vertex:
                if (animation->hasVertexTrack(copied.handle) &&
                    animation->getVertexTrack(copied.handle)->getAssociatedVertexData() == copied.target) {
                    animation->destroyVertexTrack(copied.handle);
                }
                break;
            }
        }
    }
    copiedTracks_.clear();
}

void Resource::removeMaterials() {
    if (!Ogre::ResourceGroupManager::getSingleton().resourceGroupExists(name_)) {
        return;
    }
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    for (const std::string& name : materialList_) {
        // Only this package's own: a material of that name in another group is someone else's.
        Ogre::MaterialPtr material = materials.getByName(name, name_);
        if (material && material->getGroup() == name_) {
            materials.remove(material);
        }
    }
}
