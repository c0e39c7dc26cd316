#include "ModelFolder.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Pack {

namespace {

// realpath(3) as a string; empty when some component does not exist.
std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool under(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.empty()) {
        return false;
    }
    return folder == "/" || path == folder || path.compare(0, folder.size() + 1, folder + "/") == 0;
}

// The path with its existing part resolved (links followed) and the rest, which does not exist,
// normalised by its words: where the path would lead if it were made.
std::string wouldLeadTo(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        char directory[PATH_MAX];
        if (getcwd(directory, sizeof directory) == nullptr) {
            return "";
        }
        absolute = std::string(directory) + "/" + absolute;
    }
    std::vector<std::string> parts;
    for (std::string::size_type start = 0; start <= absolute.size();) {
        std::string::size_type end = absolute.find('/', start);
        if (end == std::string::npos) {
            end = absolute.size();
        }
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    // The longest leading part that exists, resolved, then the remainder as written.
    for (size_t kept = parts.size() + 1; kept-- > 0;) {
        std::string head = "/";
        for (size_t i = 0; i < kept; ++i) {
            head += (i > 0 ? "/" : "") + parts[i];
        }
        std::string resolved = realPath(head);
        if (resolved.empty()) {
            continue;
        }
        for (size_t i = kept; i < parts.size(); ++i) {
            resolved += (resolved == "/" ? "" : "/") + parts[i];
        }
        return resolved;
    }
    return "";
}

} // namespace

ModelFolder::ModelFolder(const std::string& modelPath) {
    const std::string::size_type slash = modelPath.rfind('/');
    prefix_ = slash == std::string::npos ? "" : modelPath.substr(0, slash + 1);
    real_ = realPath(prefix_.empty() ? "." : prefix_);
}

std::string ModelFolder::inside(const std::string& path) const {
    const std::string resolved = realPath(path);
    struct stat status;
    if (!under(resolved, real_) || stat(resolved.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return "";
    }
    return resolved;
}

bool ModelFolder::leadsOut(const std::string& path) const {
    return !under(wouldLeadTo(path), real_);
}

std::string ModelFolder::beside(const std::string& reference) const {
    const std::string::size_type cut = reference.find_last_of("/\\");
    const std::string name = cut == std::string::npos ? reference : reference.substr(cut + 1);
    if (real_.empty() || name.empty() || name == "." || name == "..") {
        return "";
    }
    const std::string folder = real_ == "/" ? "" : real_;
    std::string found = inside(folder + "/" + name);
    if (!found.empty()) {
        return found;
    }
    DIR* directory = opendir(real_.c_str());
    if (directory == nullptr) {
        return "";
    }
    while (const dirent* entry = readdir(directory)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = inside(folder + "/" + entry->d_name);
            if (!found.empty()) {
                break;
            }
        }
    }
    closedir(directory);
    return found;
}

std::string ModelFolder::relative(const std::string& path) const {
    return !prefix_.empty() && path.compare(0, prefix_.size(), prefix_) == 0 ? path.substr(prefix_.size())
                                                                             : path;
}

} // namespace Pack
