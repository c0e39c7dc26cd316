#pragma once

#include <string>

namespace VelOS {

// The per-process work directory: $TMPDIR (or /tmp) + "/Velquin-" + process id + "/".
// It holds one sub-directory per resource package and every file received from clients;
// the Scene creates it at set-up and removes it at exit. The path always ends in "/".
//
// With create false the path is only computed. With create true the directory is made with
// mode 0700; an existing directory owned by this user is used as it is. Anything else at that
// path (a file, a link, someone else's directory) or a failure to create it yields the empty
// text, so that set-up fails instead of writing into a place it does not own.
std::string getWorkDirectory(bool create);

} // namespace VelOS
