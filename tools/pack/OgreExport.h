#pragma once

#include "PackModel.h"

#include <memory>
#include <string>
#include <vector>

// Writes a Pack::Model as the files of a resource package, with the render engine's own
// serializers: NAME.mesh (binary, one sub-mesh per part), NAME.skeleton when the model has bones,
// NAME.material (a material script) and the textures. The engine runs without a window or
// render system; one exporter per process, used by one thread.
class OgreExport {
public:
    OgreExport();
    ~OgreExport();
    OgreExport(const OgreExport&) = delete;
    OgreExport& operator=(const OgreExport&) = delete;

    // Writes the files into directory (which must exist) and lists their names in files.
    // False with a one-line reason in error.
    bool write(const Pack::Model& model, const std::string& name, const std::string& directory,
               std::vector<std::string>& files, std::string& error);

    // The material script of the model, as written.
    static std::string materialScript(const Pack::Model& model);

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};
