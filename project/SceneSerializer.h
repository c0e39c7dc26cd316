#pragma once

#include <functional>
#include <string>

class ProjectInventory;
class ProjectOperations;
class TiXmlDocument;

// The project document: the live project written to an XML document packed with its resource
// packages and pattern files into a ZIP archive of the work directory (save), and a project
// rebuilt from such an archive (load), only ever through the project operations and the
// inventory, so that a load broadcasts the same events the commands would.
//
// Runs on the thread of the command that asked for it and takes no lock itself: the operations
// it calls take theirs one by one.
class SceneSerializer {
public:
    // Unpacks every top-level entry of a ZIP archive into the work directory under its bare
    // name; false when the archive cannot be opened. Supplied by the engine side (the engine's
    // own ZIP reader, on the engine's thread).
    using Extractor = std::function<bool(const std::string& archivePath, const std::string& workDirectory)>;

    // Loads the archive named (relative to the work directory, a three-letter extension): unpacks
    // it, deletes it, and rebuilds the project from the document named like it with "xml" as its
    // extension. False on the first failure; what was built until then stays.
    static bool load(const std::string& archiveName, ProjectOperations& operations,
                     ProjectInventory& inventory, const std::string& workDirectory, const Extractor& extract);

    // Writes projectName + ".xml" and projectName + ".zip" (document, pattern files, packages)
    // into the work directory.
    static bool save(const std::string& projectName, ProjectOperations& operations,
                     ProjectInventory& inventory, const std::string& workDirectory);

    // Steps of load after the unpacking: rebuilds the project from the document's text (refused
    // when it is not well-formed, over 64 MiB or nested deeper than 64 elements).
    static bool buildFromText(const std::string& text, ProjectOperations& operations,
                              ProjectInventory& inventory, const std::string& workDirectory);
    // The same from a parsed document.
    static bool build(const TiXmlDocument& document, ProjectOperations& operations,
                      ProjectInventory& inventory, const std::string& workDirectory);

    // A document deeper than this is refused before it is walked.
    static constexpr int MaximumDepth = 8;
};
