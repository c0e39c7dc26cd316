#pragma once

#include <string>

namespace VelOS {

// Checks a file name that came from outside (a client, a command file, a package or a project
// archive) and builds its path inside directory. Either separator may be used. Refused: an
// empty name, an absolute path, a drive letter, a ".." part, a NUL or other control character,
// and a name that passes through a symbolic link or ends up naming directory itself.
// On success path holds directory (with a "/" added if missing) + the cleaned name.
bool resolveInside(const std::string& directory, const std::string& name, std::string& path);

} // namespace VelOS
