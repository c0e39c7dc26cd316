#pragma once

#include "PackModel.h"

#include <string>

// Reads a glTF 2.0 (.gltf, .glb), OBJ or FBX file with Assimp into a Pack::Model in content
// space. Plain C++ on Assimp: no engine here.
namespace Pack {

struct ImportOptions {
    // Content units per model unit; 0 chooses from the file: glTF and OBJ are taken to be in
    // metres (1000), FBX by the unit its header names (centimetres: 10).
    double scale = 0;
    // The model's axis that points up (out of the marker) and the one that faces the viewer, as
    // "+x", "-x", "+y", "-y", "+z" or "-z". Empty: "+y" and "+z" (the glTF convention), or
    // what an FBX header says.
    std::string up;
    std::string front;
};

// Fills model from the file at path. False with a one-line reason in error (the file cannot be
// read, is no model, has no triangles, has too many bones, an option is wrong).
bool importModel(const std::string& path, const ImportOptions& options, Model& model, std::string& error);

// The package-safe form of a name: letters, digits, "-", "." and "_" kept, anything else
// replaced by "_"; never empty.
std::string safeName(const std::string& name, const std::string& fallback);

} // namespace Pack
