#pragma once

#include "ModelFolder.h"

#include <assimp/DefaultIOSystem.h>

#include <string>

// The files Assimp may open while it reads a model: the model itself and, for what it names
// (glTF buffers, OBJ material libraries), files in the model's folder or below it. Anything
// else does not exist as far as Assimp can tell; the first such name is kept for the message
// that says why the model was read without it, or could not be read at all. (Assimp tries a
// name in several spellings, some cut short: only the first is the model's own.)
namespace Pack {

class ConfinedIOSystem : public Assimp::DefaultIOSystem {
public:
    // refused outlives the importer that owns this object; the name goes in relative to the
    // model's folder where it starts with it.
    ConfinedIOSystem(const std::string& modelPath, const ModelFolder& folder, std::string& refused);

    bool Exists(const char* path) const override;
    Assimp::IOStream* Open(const char* path, const char* mode = "rb") override;

private:
    // The path to open instead of path (links resolved), or empty when it may not be read.
    std::string allowed(const std::string& path) const;

    std::string modelPath_;
    const ModelFolder& folder_;
    std::string& refused_;
};

} // namespace Pack
