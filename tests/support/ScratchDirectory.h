#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "platform/fileutil.h"

// A fresh directory under the system's temporary folder, removed with its contents at the end
// of the test. path() ends in "/".
class ScratchDirectory {
public:
    ScratchDirectory() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velquin-test-XXXXXX";
        char* made = mkdtemp(&pattern[0]);
        path_ = made != nullptr ? std::string(made) + "/" : std::string();
    }
    ~ScratchDirectory() {
        if (!path_.empty()) {
            std::string command = "chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "cannot remove %s\n", path_.c_str());
            }
        }
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return path_; }

    // Writes a file below the directory and returns its full path.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string full = path_ + name;
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }

private:
    std::string path_;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool pathExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}
