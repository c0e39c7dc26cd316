#pragma once

#include "platform/CommandContext.h"

#include <functional>
#include <string>
#include <vector>

class ProjectInventory;
class ProjectOperations;
class TiXmlDocument;

// The project document: the live project written to an XML document packed with its resource
// packages and pattern files into a ZIP archive of the work directory (save), and a project
// rebuilt from such an archive (load), only ever through the project operations and the
// inventory, so that a load broadcasts the same events the commands would.
//
// Runs on the thread of the caller and takes no lock itself: the operations it calls take what
// they need. The command's context goes to every operation it calls, and gets its failure reason.
class SceneSerializer {
public:
    // Unpacks every top-level entry of a ZIP archive into the work directory under its bare
    // name; false, with the reason in why, when the archive cannot be opened or goes past a
    // bound. Supplied by the engine side.
    using Extractor = std::function<bool(const std::string& archivePath, const std::string& workDirectory,
                                         std::string& why)>;

    // Loads the archive named (relative to the work directory, a three-letter extension): unpacks
    // it, deletes it, and rebuilds the project from the document named like it with "xml" as its
    // extension. False on the first failure; what was built until then stays.
    static bool load(VelOS::CommandContext& context, const std::string& archiveName,
                     ProjectOperations& operations, ProjectInventory& inventory,
                     const std::string& workDirectory, const Extractor& extract);
    // The first steps of load: unpacks the archive, deletes it and reads the document's text.
    static bool readArchive(VelOS::CommandContext& context, const std::string& archiveName,
                            const std::string& workDirectory, const Extractor& extract, std::string& text);
    // The package file names a document's resources name, in document order (none for a text
    // that is no document): what a load will unpack, known before it starts.
    static std::vector<std::string> packagesOf(const std::string& documentText);

    // Writes projectName + ".xml" and projectName + ".zip" (document, pattern files, packages)
    // into the work directory.
    static bool save(VelOS::CommandContext& context, const std::string& projectName,
                     ProjectOperations& operations, ProjectInventory& inventory,
                     const std::string& workDirectory);

    // Steps of load after the unpacking: rebuilds the project from the document's text (refused
    // when it is not well-formed, over 64 MiB or nested deeper than 64 elements).
    static bool buildFromText(VelOS::CommandContext& context, const std::string& text,
                              ProjectOperations& operations, ProjectInventory& inventory,
                              const std::string& workDirectory);
    // The same from a parsed document.
    static bool build(VelOS::CommandContext& context, const TiXmlDocument& document,
                      ProjectOperations& operations, ProjectInventory& inventory,
                      const std::string& workDirectory);

    // A document deeper than this is refused before it is walked.
    static constexpr int MaximumDepth = 8;
};
