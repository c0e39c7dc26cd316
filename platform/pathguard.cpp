#include "platform/pathguard.h"

#include <sys/stat.h>
#include <vector>

namespace VelOS {

bool resolveInside(const std::string& directory, const std::string& name, std::string& path) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') {
        return false;
    }
    if (name.size() >= 2 && name[1] == ':') {
        return false;
    }
    std::vector<std::string> parts;
    std::string part;
    for (std::string::size_type i = 0; i <= name.size(); ++i) {
        const char c = i < name.size() ? name[i] : '/';
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return false;
        }
        if (c == '/' || c == '\\') {
            if (part == "..") {
                return false;
            }
            if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (parts.empty()) {
        return false;
    }
    std::string result = directory;
    if (result.empty() || result.back() != '/') {
        result += '/';
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        result += parts[i];
        struct stat info {};
        if (lstat(result.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            return false;
        }
        if (i + 1 < parts.size()) {
            result += '/';
        }
    }
    path = result;
    return true;
}

} // namespace VelOS
