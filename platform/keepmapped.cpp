#include "platform/keepmapped.h"

#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <link.h>
#include <sstream>

namespace VelOS {

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

#ifdef VELQUIN_KEEP_LIBRARIES_MAPPED
// The folder a library already loaded was found in, from the dynamic linker's own record; empty
// when it is not loaded.
std::string loadedFolderOf(const std::string& library) {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        dlerror();
        return std::string();
    }
    link_map* map = nullptr;
    std::string folder;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) {
        folder = folderOf(map->l_name);
    }
    dlclose(handle);
    return folder;
}
#endif

} // namespace

std::vector<std::string> enginePluginLibraries(const std::string& pluginsFile) {
    std::ifstream in(pluginsFile);
    if (!in) {
        return {};
    }
    // The engine reads "key=value" lines, where ':' or a tab may stand for '=' and '#' starts a
    // comment line; the folder may come after the plug-ins it applies to.
    std::string folder;
    std::vector<std::string> names;
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        const size_t separator = line.find_first_of("=:\t");
        if (line.empty() || line[0] == '#' || separator == std::string::npos) {
            continue;
        }
        const std::string key = trimmed(line.substr(0, separator));
        const std::string value = trimmed(line.substr(separator + 1));
        if (key == "PluginFolder") {
            folder = value;
        } else if (key == "Plugin" && !value.empty()) {
            names.push_back(value);
        }
    }
    if (!folder.empty() && folder[0] != '/') {
        folder = folderOf(pluginsFile) + folder;
    }
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    if (folder.empty()) {
        folder = folderOf(pluginsFile);
    }
    std::vector<std::string> libraries;
    for (const std::string& name : names) {
        libraries.push_back(folder + name + (endsWith(name, ".so") ? "" : ".so"));
    }
    return libraries;
}

std::vector<std::string> glDriverLibraries(const std::string& vendorFolder) {
    std::string driverFolders;
    if (const char* path = std::getenv("LIBGL_DRIVERS_PATH"); path != nullptr && *path != '\0') {
        driverFolders = path;
    } else if (!vendorFolder.empty()) {
        driverFolders = vendorFolder + (vendorFolder.back() == '/' ? "" : "/") + "dri";
    }
    std::vector<std::string> libraries;
    std::istringstream folders(driverFolders);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty()) {
            libraries.push_back(folder + (folder.back() == '/' ? "" : "/") + "swrast_dri.so");
        }
    }
    return libraries;
}

int keepLibrariesMapped(const std::vector<std::string>& libraries) {
    int kept = 0;
    for (const std::string& library : libraries) {
        // The handle is dropped on purpose: the library is meant to outlive everyone.
        if (dlopen(library.c_str(), RTLD_NOW | RTLD_NODELETE) != nullptr) {
            ++kept;
        } else {
            dlerror(); // a missing driver or plug-in is the engine's to report, later
        }
    }
    return kept;
}

void keepEngineLibrariesMapped([[maybe_unused]] const std::string& pluginsFile) {
#ifdef VELQUIN_KEEP_LIBRARIES_MAPPED
    keepLibrariesMapped(enginePluginLibraries(pluginsFile));
    // The GL loader picks Mesa's GLX vendor library for the display, and Mesa its driver from the
    // folder beside itself.
    const std::string vendor = "libGLX_mesa.so.0";
    keepLibrariesMapped({vendor});
    keepLibrariesMapped(glDriverLibraries(loadedFolderOf(vendor)));
#endif
}

} // namespace VelOS
