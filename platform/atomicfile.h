#pragma once

#include <string>

// Files replaced whole or not at all. Everything the player writes over a file that may already
// exist (an upload, a saved project, an unpacked project archive) is written under a temporary
// name beside the file, flushed to the disk and renamed into place: a player killed half-way,
// or a client that drops its connection, leaves the old file as it was and never a torn one;
// two writers of one name leave one of them whole. Any thread.
namespace VelOS {

// Creates a new empty file beside path (same folder, a hidden name of its own: "." + the file's
// name + ".part-" and a random part) and gives its name. False when it cannot be created.
bool createTemporaryBeside(const std::string& path, std::string& temporary);

// Flushes temporary to the disk, renames it to path (replacing what was there) and flushes the
// folder. False, with temporary removed and path untouched, when any step fails.
bool replaceWith(const std::string& temporary, const std::string& path);

} // namespace VelOS
