#include "app/ProjectArchive.h"

#include "platform/atomicfile.h"
#include "platform/enginelog.h"
#include "platform/pathguard.h"
#include "resources/PackageUnpacker.h"

#include <dirent.h>
#include <sys/stat.h>
#include <vector>

bool extractProjectArchive(const std::string& archivePath, const std::string& workDirectory,
                           std::string& why) {
    // Unpacked within the bounds of a package into a folder of its own first: a bomb stops at
    // its bound with nothing left behind.
    PackageUnpacker unpacked(PackageLimits::fromEnvironment(), "project archive");
    if (!unpacked.unpack(archivePath, workDirectory)) {
        VelOS::engineLog("SceneSerializer::load: " + unpacked.failure());
        why = unpacked.failure();
        return false;
    }
    std::vector<std::string> names;
    if (DIR* folder = ::opendir(unpacked.directory().c_str())) {
        while (const dirent* entry = ::readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(folder);
    }
    // Each file then takes the place of the work directory's file of that name at once, so that
    // the package or pattern it replaces is never seen torn.
    for (const std::string& name : names) {
        const std::string source = unpacked.directory() + name;
        struct stat info {};
        std::string target;
        if (::lstat(source.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            !VelOS::resolveInside(workDirectory, name, target)) {
            VelOS::engineLog("SceneSerializer::load: skipping the entry " + name);
            continue;
        }
        if (!VelOS::replaceWith(source, target)) {
            VelOS::engineLog("SceneSerializer::load: cannot write " + target);
        }
    }
    return true;
}
