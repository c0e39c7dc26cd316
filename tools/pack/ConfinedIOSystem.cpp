#include "ConfinedIOSystem.h"

namespace Pack {

ConfinedIOSystem::ConfinedIOSystem(const std::string& modelPath, const ModelFolder& folder,
                                   std::string& refused)
    : modelPath_(modelPath), folder_(folder), refused_(refused) {}

std::string ConfinedIOSystem::allowed(const std::string& path) const {
    if (path == modelPath_) {
        return path;
    }
    // Importers join what the model names to its folder: "models//etc/x" is the model's "/etc/x".
    const std::string name = folder_.relative(path);
    const bool absolute = !folder_.prefix().empty() && !name.empty() && name[0] == '/';
    const std::string real = absolute ? std::string() : folder_.inside(path);
    if (real.empty() && refused_.empty() && (absolute || folder_.leadsOut(path))) {
        refused_ = name;
    }
    return real;
}

bool ConfinedIOSystem::Exists(const char* path) const {
    return path != nullptr && !allowed(path).empty();
}

Assimp::IOStream* ConfinedIOSystem::Open(const char* path, const char* mode) {
    // Importers only read; a mode that could write is no request of theirs.
    if (path == nullptr || mode == nullptr || std::string(mode).find_first_of("wa+") != std::string::npos) {
        return nullptr;
    }
    const std::string real = allowed(path);
    return real.empty() ? nullptr : DefaultIOSystem::Open(real.c_str(), mode);
}

} // namespace Pack
