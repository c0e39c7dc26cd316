#pragma once

#include <string>

// The folder a model lies in, and the only place velquin-pack reads files from besides the
// model itself. A model is untrusted input (authors download them), and the files it names
// (buffers, material libraries, textures) end up in a package that is shipped to a player: a
// name that leads out of the folder, by "..", by an absolute path or by a symbolic link, must
// not bring /etc/passwd along. Plain C++: no Assimp, no engine.
namespace Pack {

class ModelFolder {
public:
    // The folder of modelPath; an unreadable folder contains nothing.
    explicit ModelFolder(const std::string& modelPath);

    // The real path of a regular file at path when it lies in the folder or below it (links
    // followed); empty otherwise. A relative path is taken from the current directory, as the
    // C library would.
    std::string inside(const std::string& path) const;
    // True when path, as written or with its links followed, lies outside the folder.
    bool leadsOut(const std::string& path) const;
    // The real path of the regular file in the folder itself named like the last component of
    // reference ("/" or "\" separated), compared without regard to case when no name matches
    // exactly; empty when there is none. Tools write absolute paths of the author's machine
    // (D:\models\spider\SpiderTex.jpg) for files that travel beside the model.
    std::string beside(const std::string& reference) const;
    // path without the folder's prefix as the model's path gave it ("maps/a.png" for
    // "models/maps/a.png" when the model is "models/robot.obj"), for messages.
    std::string relative(const std::string& path) const;
    // The folder as the model's path gave it, ending in "/"; empty for the current directory.
    const std::string& prefix() const { return prefix_; }

private:
    std::string prefix_; // as given
    std::string real_;   // resolved, without a trailing "/"; empty when it cannot be resolved
};

} // namespace Pack
