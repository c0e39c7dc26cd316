#pragma once

#include <string>

// Unpacks every top-level entry of a project archive into the work directory under its bare
// name, in chunks of 1024 bytes, through the engine's own ZIP reader. An entry whose name would
// lead out of the work directory is skipped with a log line. False when the archive cannot be
// opened as a ZIP file. Main thread, like all of the engine's work.
bool extractProjectArchive(const std::string& archivePath, const std::string& workDirectory);
