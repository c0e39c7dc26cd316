#pragma once

// A player folder of a test's own, so that its log.txt is not shared with players that other
// tests start at the same time.
#include "support/PlayerProcess.h"
#include "support/ScratchDirectory.h"

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

// Links to every entry of the built player folder except its log, inside scratch; the entries
// named in copies are copied instead (the player follows no link out of its folder when it
// opens a recording). The folder's path, or "" when it could not be made.
inline std::string makePlayerFolder(const ScratchDirectory& scratch,
                                    const std::vector<std::string>& copies = {}) {
    const std::string folder = scratch.path() + "player";
    const std::string built = PlayerProcess::builtPlayerDirectory();
    if (mkdir(folder.c_str(), 0700) != 0) {
        return "";
    }
    DIR* entries = opendir(built.c_str());
    if (entries == nullptr) {
        return "";
    }
    while (const dirent* entry = readdir(entries)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == "log.txt") {
            continue;
        }
        bool copy = false;
        for (const std::string& wanted : copies) {
            copy = copy || wanted == name;
        }
        const std::string from = built + "/" + name;
        const std::string to = folder + "/" + name;
        if (copy) {
            if (std::system(("cp -r '" + from + "' '" + to + "'").c_str()) != 0) {
                closedir(entries);
                return "";
            }
        } else if (symlink(from.c_str(), to.c_str()) != 0) {
            closedir(entries);
            return "";
        }
    }
    closedir(entries);
    return folder;
}
