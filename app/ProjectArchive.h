#pragma once

#include <string>

// Unpacks every top-level file of a project archive into the work directory under its bare
// name: within the bounds of a resource package (PackageLimits) and the work directory's disk
// budget, into a folder of its own first, each file then renamed over the one it replaces.
// Entries in folders, and names that would lead out of the work directory, are skipped with a
// log line. False, with the reason in why, when the archive is no ZIP file or goes past a bound.
// Any thread: it uses none of the engine's registries.
bool extractProjectArchive(const std::string& archivePath, const std::string& workDirectory,
                           std::string& why);
