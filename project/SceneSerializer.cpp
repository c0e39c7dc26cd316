#include "project/SceneSerializer.h"

#include "platform/DiskBudget.h"
#include "platform/atomicfile.h"
#include "platform/enginelog.h"
#include "platform/fileutil.h"
#include "platform/pathguard.h"
#include "platform/xmldepth.h"
#include "project/ProjectInventory.h"
#include "project/ProjectOperations.h"
#include "resources/FileArchive.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <tinyxml.h>
#include <vector>

namespace {

// Attribute helpers: texts as they are, numbers as the C library converts them (leading
// number, rest ignored, none gives 0).
bool text(const TiXmlElement& element, const char* name, std::string& value) {
    const char* found = element.Attribute(name);
    if (found == nullptr) {
        return false;
    }
    value = found;
    return true;
}

bool number(const TiXmlElement& element, const char* name, double& value) {
    const char* found = element.Attribute(name);
    if (found == nullptr) {
        return false;
    }
    value = std::strtod(found, nullptr);
    return true;
}

bool numbers(const TiXmlElement& element, std::initializer_list<const char*> names, double* values) {
    for (const char* name : names) {
        if (!number(element, name, *values++)) {
            return false;
        }
    }
    return true;
}

// A width as the document writes it ("%d"); a text that is no number, or one that would not fit
// an int, reads as 0, which no tracker accepts, instead of wrapping to some other width.
int wholeNumber(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        return 0;
    }
    return static_cast<int>(value);
}

std::string fixed(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", value);
    return buffer;
}

void setNumbers(TiXmlElement& element, std::initializer_list<const char*> names, const double* values) {
    for (const char* name : names) {
        element.SetAttribute(name, fixed(*values++).c_str());
    }
}

// The XML library parses recursively: a document nested deeper than XML from outside may be is
// refused before it is parsed, and so is one larger than any project document can be.
bool plausibleDocument(const std::string& text) {
    return text.size() <= 64 * 1024 * 1024 && VelOS::xmlDepthWithin(text);
}

int depthOf(const TiXmlNode* node) {
    int deepest = 0;
    for (const TiXmlNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
        deepest = std::max(deepest, depthOf(child));
        if (deepest > SceneSerializer::MaximumDepth) {
            break;
        }
    }
    return deepest + 1;
}

// Notes why a load or save stops here (the command's failure line names it) and fails.
bool fail(VelOS::CommandContext& c, const std::string& reason) {
    c.fail(reason);
    return false;
}

// An operation of the load that failed has noted its own reason; this one only when it did not.
bool failed(VelOS::CommandContext& c, const std::string& element, const std::string& name) {
    return fail(c, "the document's " + element + " \"" + name + "\" could not be made");
}

// An actor whose tracker name is empty was saved unconnected: it is left so.
template <typename Connect> bool connectIfNamed(const std::string& tracker, Connect connect) {
    return tracker.empty() || connect();
}

bool loadActors(VelOS::CommandContext& c, const TiXmlElement& section, ProjectOperations& p) {
    for (const TiXmlElement* actor = section.FirstChildElement(); actor != nullptr;
         actor = actor->NextSiblingElement()) {
        const std::string kind = actor->Value();
        std::string name, resource, content, tracker, type;
        double t[3], r[4], s[3];
        if (kind == "MeshActor" || kind == "SceneActor") {
            const bool mesh = kind == "MeshActor";
            if (!text(*actor, "name", name) || !text(*actor, "resourceName", resource) ||
                !text(*actor, mesh ? "meshName" : "sceneName", content) ||
                !text(*actor, "trackerName", tracker) || !numbers(*actor, {"tx", "ty", "tz"}, t) ||
                !numbers(*actor, {"rw", "rx", "ry", "rz"}, r) || !numbers(*actor, {"sx", "sy", "sz"}, s)) {
                return fail(c, "the document's " + kind + " \"" + name + "\" lacks an attribute");
            }
            const ActorKind k = mesh ? ActorKind::Mesh : ActorKind::Scene;
            const bool ok = (mesh ? p.meshCreate(c, name, resource, content)
                                  : p.sceneCreate(c, name, resource, content)) &&
                            connectIfNamed(tracker, [&] { return p.connectActor(c, k, name, tracker); }) &&
                            p.translateActor(c, k, name, t[0], t[1], t[2]) &&
                            p.rotateActor(c, k, name, r[0], r[1], r[2], r[3]) &&
                            p.scaleActor(c, k, name, s[0], s[1], s[2]);
            if (!ok) {
                return failed(c, kind, name);
            }
        } else if (kind == "FileActor") {
            if (!text(*actor, "name", name) || !text(*actor, "type", type) ||
                !text(*actor, "resourceName", resource) || !text(*actor, "fileName", content) ||
                !text(*actor, "trackerName", tracker) || !numbers(*actor, {"tx", "ty", "tz"}, t)) {
                return fail(c, "the document's " + kind + " \"" + name + "\" lacks an attribute");
            }
            if (!p.fileCreate(c, name, resource, content, type) ||
                !connectIfNamed(tracker, [&] { return p.connectActor(c, ActorKind::File, name, tracker); }) ||
                !p.translateActor(c, ActorKind::File, name, t[0], t[1], t[2])) {
                return failed(c, kind, name);
            }
        } else if (kind == "LightActor") {
            // "lightName" is required though light create takes only the actor's name.
            if (!text(*actor, "name", name) || !text(*actor, "lightName", content) ||
                !text(*actor, "trackerName", tracker) || !numbers(*actor, {"tx", "ty", "tz"}, t)) {
                return fail(c, "the document's " + kind + " \"" + name + "\" lacks an attribute");
            }
            if (!p.lightCreate(c, name) ||
                !connectIfNamed(tracker,
                                [&] { return p.connectActor(c, ActorKind::Light, name, tracker); }) ||
                !p.translateActor(c, ActorKind::Light, name, t[0], t[1], t[2])) {
                return failed(c, kind, name);
            }
        } else {
            return fail(c, "the document's ActorManager holds an unknown element " + kind);
        }
    }
    return true;
}

} // namespace

bool SceneSerializer::build(VelOS::CommandContext& c, const TiXmlDocument& document,
                            ProjectOperations& operations, ProjectInventory& inventory,
                            const std::string& workDirectory) {
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr || std::string(root->Value()) != "Velquin") {
        return fail(c, "the document is no Velquin project (its root element is not Velquin)");
    }
    if (depthOf(root) > MaximumDepth) {
        return fail(c, "the document nests deeper than " + std::to_string(MaximumDepth) + " levels");
    }
    std::set<std::string> seen;
    for (const TiXmlElement* section = root->FirstChildElement(); section != nullptr;
         section = section->NextSiblingElement()) {
        const std::string name = section->Value();
        const bool known = name == "Global" || name == "ResourceManager" || name == "TrackerManager" ||
                           name == "ActorManager";
        if (!known || !seen.insert(name).second) {
            VelOS::engineLog("SceneSerializer::load: first child named " + name + " is incorrect");
            return fail(c, known ? "the document holds " + name + " twice"
                                 : "the document holds an unknown section " + name);
        }
        if (name == "Global") {
            std::string title;
            if (!text(*section, "title", title)) {
                return fail(c, "the document's Global has no title");
            }
            if (!operations.setTitle(c, title)) {
                return fail(c, "the title could not be set");
            }
        } else if (name == "ResourceManager") {
            inventory.destroyAllResources(c);
            for (const TiXmlElement* resource = section->FirstChildElement(); resource != nullptr;
                 resource = resource->NextSiblingElement()) {
                std::string resourceName, fileName, path;
                if (std::string(resource->Value()) != "Resource" || !text(*resource, "name", resourceName) ||
                    !text(*resource, "filename", fileName)) {
                    return fail(
                        c, "the document's ResourceManager holds an element that is no complete Resource");
                }
                if (!VelOS::resolveInside(workDirectory, fileName, path)) {
                    return fail(c,
                                "the package file name \"" + fileName + "\" leads out of the work directory");
                }
                if (!operations.resourceCreate(c, resourceName, workDirectory + fileName)) {
                    return failed(c, "Resource", resourceName);
                }
            }
        } else if (name == "TrackerManager") {
            inventory.destroyAllTrackers(c);
            for (const TiXmlElement* tracker = section->FirstChildElement(); tracker != nullptr;
                 tracker = tracker->NextSiblingElement()) {
                std::string trackerName, pattern, width;
                if (std::string(tracker->Value()) != "ARTracker" || !text(*tracker, "name", trackerName) ||
                    !text(*tracker, "patternFilename", pattern) || !text(*tracker, "width", width)) {
                    return fail(
                        c, "the document's TrackerManager holds an element that is no complete ARTracker");
                }
                if (!operations.trackerCreate(c, trackerName, pattern, wholeNumber(width))) {
                    return failed(c, "ARTracker", trackerName);
                }
            }
        } else {
            inventory.destroyAllActors(c);
            if (!loadActors(c, *section, operations)) {
                return false;
            }
        }
    }
    return true;
}

bool SceneSerializer::buildFromText(VelOS::CommandContext& c, const std::string& text,
                                    ProjectOperations& operations, ProjectInventory& inventory,
                                    const std::string& workDirectory) {
    if (!plausibleDocument(text)) {
        return fail(c, "the document is over 64 MiB or nests too deep to be read");
    }
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error()) {
        return fail(c, std::string("the document is no well-formed XML: ") + document.ErrorDesc() +
                           " (line " + std::to_string(document.ErrorRow()) + ")");
    }
    return build(c, document, operations, inventory, workDirectory);
}

bool SceneSerializer::readArchive(VelOS::CommandContext& c, const std::string& archiveName,
                                  const std::string& workDirectory, const Extractor& extract,
                                  std::string& text) {
    std::string archive;
    if (archiveName.size() < 4) {
        return fail(c, "\"" + archiveName + "\" is no archive name (NAME.zip)");
    }
    if (!VelOS::resolveInside(workDirectory, archiveName, archive)) {
        return fail(c, "the archive name leads out of the work directory");
    }
    if (!VelOS::isFile(archive)) {
        return fail(c, "no file " + archiveName + " in the work directory (upload it first)");
    }
    std::string why;
    if (!extract(archive, workDirectory, why)) {
        return fail(c, why.empty() ? "not a ZIP archive: " + archive : why);
    }
    VelOS::deleteFile(archive);
    const std::string documentName = archiveName.substr(0, archiveName.size() - 3) + "xml";
    std::string documentPath;
    if (!VelOS::resolveInside(workDirectory, documentName, documentPath)) {
        return fail(c, "the document name leads out of the work directory");
    }
    std::FILE* file = std::fopen(documentPath.c_str(), "rb");
    if (file == nullptr) {
        // The document inside is named after the project as it was saved (show.zip holds
        // show.xml); an archive renamed on the way has none of its own name.
        return fail(c, "the archive holds no " + documentName +
                           ": a project archive loads under the name it was saved with");
    }
    text.clear();
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text.size() <= 64 * 1024 * 1024) {
        text.append(chunk, got);
    }
    std::fclose(file);
    return true;
}

bool SceneSerializer::load(VelOS::CommandContext& c, const std::string& archiveName,
                           ProjectOperations& operations, ProjectInventory& inventory,
                           const std::string& workDirectory, const Extractor& extract) {
    std::string text;
    return readArchive(c, archiveName, workDirectory, extract, text) &&
           buildFromText(c, text, operations, inventory, workDirectory);
}

std::vector<std::string> SceneSerializer::packagesOf(const std::string& documentText) {
    std::vector<std::string> packages;
    if (!plausibleDocument(documentText)) {
        return packages;
    }
    TiXmlDocument document;
    document.Parse(documentText.c_str());
    const TiXmlElement* root = document.RootElement();
    const TiXmlElement* resources = root != nullptr ? root->FirstChildElement("ResourceManager") : nullptr;
    for (const TiXmlElement* resource = resources != nullptr ? resources->FirstChildElement("Resource")
                                                             : nullptr;
         resource != nullptr; resource = resource->NextSiblingElement("Resource")) {
        std::string fileName;
        if (text(*resource, "filename", fileName)) {
            packages.push_back(fileName);
        }
    }
    return packages;
}

bool SceneSerializer::save(VelOS::CommandContext& c, const std::string& projectName, ProjectOperations& p,
                           ProjectInventory& inventory, const std::string& workDirectory) {
    std::string base;
    if (!VelOS::resolveInside(workDirectory, projectName, base)) {
        return fail(c, "the project name leads out of the work directory");
    }
    TiXmlDocument document;
    auto* root = new TiXmlElement("Velquin");
    document.LinkEndChild(root);
    auto* global = new TiXmlElement("Global");
    auto* resources = new TiXmlElement("ResourceManager");
    auto* trackers = new TiXmlElement("TrackerManager");
    auto* actors = new TiXmlElement("ActorManager");
    for (TiXmlElement* section : {global, resources, trackers, actors}) {
        root->LinkEndChild(section);
    }

    std::string title;
    if (!p.getTitle(c, title)) {
        return false;
    }
    global->SetAttribute("title", title.c_str());

    std::set<std::string> resourceNames, trackerNames, names;
    std::vector<std::string> packageFiles, patternFiles;
    inventory.getResourceNames(resourceNames);
    for (const std::string& name : resourceNames) {
        std::string fileName;
        if (!p.resourceGetFilename(c, name, fileName)) {
            return false;
        }
        auto* element = new TiXmlElement("Resource");
        element->SetAttribute("name", name.c_str());
        element->SetAttribute("filename", fileName.c_str());
        resources->LinkEndChild(element);
        packageFiles.push_back(fileName);
    }
    inventory.getTrackerNames(trackerNames);
    for (const std::string& name : trackerNames) {
        std::string pattern;
        int width = 0;
        if (!p.trackerGetPatternFilename(c, name, pattern) || !p.trackerGetWidth(c, name, width)) {
            return false;
        }
        auto* element = new TiXmlElement("ARTracker");
        element->SetAttribute("name", name.c_str());
        element->SetAttribute("patternFilename", pattern.c_str());
        element->SetAttribute("width", width); // "%d"
        trackers->LinkEndChild(element);
        patternFiles.push_back(pattern);
    }

    // Mesh and scene actors share their layout; only their element and content names differ.
    struct Turnable {
        const char* element;
        const char* contentAttribute;
        ActorKind kind;
        void (ProjectInventory::*list)(std::set<std::string>&);
    };
    const Turnable turnables[] = {
        {"MeshActor", "meshName", ActorKind::Mesh, &ProjectInventory::getMeshNames},
        {"SceneActor", "sceneName", ActorKind::Scene, &ProjectInventory::getSceneNames}};
    for (const Turnable& kind : turnables) {
        (inventory.*kind.list)(names);
        const ActorKind k = kind.kind;
        for (const std::string& name : names) {
            std::string resource, content, tracker;
            double t[3], r[4], s[3];
            if (!p.actorText(c, k, ActorField::Resource, name, resource) ||
                !p.actorText(c, k, ActorField::Source, name, content) ||
                !p.actorText(c, k, ActorField::Tracker, name, tracker) ||
                !p.actorTranslation(c, k, name, t[0], t[1], t[2]) ||
                !p.actorRotation(c, k, name, r[0], r[1], r[2], r[3]) ||
                !p.actorScale(c, k, name, s[0], s[1], s[2])) {
                return false;
            }
            auto* element = new TiXmlElement(kind.element);
            element->SetAttribute("name", name.c_str());
            element->SetAttribute("resourceName", resource.c_str());
            element->SetAttribute(kind.contentAttribute, content.c_str());
            element->SetAttribute("trackerName", tracker.c_str());
            setNumbers(*element, {"tx", "ty", "tz"}, t);
            setNumbers(*element, {"rw", "rx", "ry", "rz"}, r);
            setNumbers(*element, {"sx", "sy", "sz"}, s);
            actors->LinkEndChild(element);
        }
    }
    inventory.getLightNames(names);
    for (const std::string& name : names) {
        std::string lightName, tracker;
        double t[3];
        const ActorKind k = ActorKind::Light;
        if (!p.actorText(c, k, ActorField::Source, name, lightName) ||
            !p.actorText(c, k, ActorField::Tracker, name, tracker) ||
            !p.actorTranslation(c, k, name, t[0], t[1], t[2])) {
            return false;
        }
        auto* element = new TiXmlElement("LightActor");
        element->SetAttribute("name", name.c_str());
        element->SetAttribute("lightName", lightName.c_str());
        element->SetAttribute("trackerName", tracker.c_str());
        setNumbers(*element, {"tx", "ty", "tz"}, t);
        actors->LinkEndChild(element);
    }
    inventory.getFileNames(names);
    for (const std::string& name : names) {
        std::string type, resource, fileName, tracker;
        double t[3];
        const ActorKind k = ActorKind::File;
        if (!p.actorText(c, k, ActorField::Type, name, type) ||
            !p.actorText(c, k, ActorField::Resource, name, resource) ||
            !p.actorText(c, k, ActorField::Source, name, fileName) ||
            !p.actorText(c, k, ActorField::Tracker, name, tracker) ||
            !p.actorTranslation(c, k, name, t[0], t[1], t[2])) {
            return false;
        }
        auto* element = new TiXmlElement("FileActor");
        element->SetAttribute("name", name.c_str());
        element->SetAttribute("type", type.c_str());
        element->SetAttribute("resourceName", resource.c_str());
        element->SetAttribute("fileName", fileName.c_str());
        element->SetAttribute("trackerName", tracker.c_str());
        setNumbers(*element, {"tx", "ty", "tz"}, t);
        actors->LinkEndChild(element);
    }

    const std::string documentPath = workDirectory + projectName + ".xml";
    const std::string archivePath = workDirectory + projectName + ".zip";
    std::vector<std::string> files;
    std::uint64_t bytes = 0;
    for (const std::vector<std::string>* list : {&patternFiles, &packageFiles}) {
        for (const std::string& file : *list) {
            std::string path;
            if (!VelOS::resolveInside(workDirectory, file, path)) {
                return fail(c, "the file name \"" + file + "\" leads out of the work directory");
            }
            // The document and the archive are written beside the project's own files, never
            // over one of them.
            if (path == documentPath || path == archivePath) {
                return fail(c, VelOS::fileNameOf(path) + " is a file of the project (" +
                                   (list == &packageFiles ? "a resource's package" : "a tracker's pattern") +
                                   "): save the project under another name");
            }
            struct stat info {};
            if (::stat(path.c_str(), &info) == 0) {
                bytes += static_cast<std::uint64_t>(info.st_size);
            }
            files.push_back(path);
        }
    }
    VelOS::DiskBudget::Reservation room;
    std::string reason;
    if (!room.take(bytes, reason)) {
        return fail(c, reason);
    }
    // Each file is written beside its place and renamed into it once whole, so that a save
    // cut short (the player killed, the disk full) leaves the project's last archive as it was.
    VelOS::engineLog("doc.SaveFile :" + documentPath);
    std::string temporary;
    if (!VelOS::createTemporaryBeside(documentPath, temporary) || !document.SaveFile(temporary.c_str()) ||
        !VelOS::replaceWith(temporary, documentPath)) {
        if (!temporary.empty()) {
            VelOS::deleteFile(temporary);
        }
        return fail(c, "cannot write " + documentPath);
    }
    files.insert(files.begin(), documentPath);
    if (!VelOS::createTemporaryBeside(archivePath, temporary)) {
        return fail(c, "cannot write " + archivePath);
    }
    archiveFiles(temporary, files);
    if (!VelOS::replaceWith(temporary, archivePath)) {
        return fail(c, "cannot write " + archivePath);
    }
    return true;
}
