// velquin-pack: makes a resource package for the player from a model made in a common tool
// (glTF 2.0, OBJ, FBX): the meshes as one binary .mesh, the skeleton and its animations as a
// .skeleton, the materials as a .material script, and their textures, scaled to millimetres
// with +y up.
#include "ModelImport.h"
#include "OgreExport.h"
#include "Placement.h"
#include "zip/ZipWriter.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VELQUIN_VERSION
#define VELQUIN_VERSION "unknown"
#endif

namespace {

const char* const Usage =
    R"(Usage: velquin-pack [OPTIONS] MODEL PACKAGE.zip
Makes a Velquin resource package from a glTF 2.0 (.gltf, .glb), OBJ or FBX
model: its meshes as one binary mesh NAME.mesh, its skeleton and animations as
NAME.skeleton, its materials as the material script NAME.material, and their
textures. Content is written in millimetres, upright as a new mesh actor shows
it on its marker: the model's front towards the marker's bottom edge, its right
towards the marker's right edge. (In the package's own axes: +y up, the front
-x, the right +z.) By default the model stands on the marker: its lowest point
at the height of the paper.

Only files in the model's folder or below it are read: a texture the model names
elsewhere is taken from a file of its name beside the model, or left out with a
note; a model whose buffers lie elsewhere is not converted.

Options:
  --scale FACTOR   millimetres per model unit (default: glTF and OBJ are taken
                   to be in metres, 1000; FBX by the unit in its header, 10 for
                   centimetres)
  --fit MM         scale the model so that its largest side is MM millimetres
                   (instead of --scale)
  --stand          put the model's lowest point on the marker (the default)
  --no-stand       keep the model's origin on the marker's centre
  --up AXIS        the model's axis that points up: +x, -x, +y, -y, +z or -z
                   (default +y; FBX: the axis its header names)
  --front AXIS     the model's axis that faces the viewer (default +z, or -y
                   when up is +z)
  --name NAME      base name of the files in the package (default: PACKAGE's
                   name)
  -h, --help       show this help and exit
  -V, --version    show the version and exit

Then, with a player running, "velquin-ctl upload PACKAGE.zip" and the
sentences project.resources.create("pkg", "PACKAGE.zip"); and
project.actors.mesh.create("model", "pkg", "NAME.mesh"); show the model.
Animations play with the actions "animation_loop" (or "animation") and "play";
project.actors.getAnimationsList lists them. Exit status: 0 on success, 1 when
the model cannot be converted, 2 on usage errors.

Examples:
  $ velquin-pack robot.glb robot.zip
  $ velquin-pack --up +z --fit 150 lamp.fbx lamp.zip
  $ velquin-pack --no-stand --scale 10 chair.obj chair.zip
  $ velquin-ctl upload robot.zip
)";

int usageError(const std::string& message) {
    std::fprintf(stderr, "velquin-pack: %s\nTry 'velquin-pack --help'.\n", message.c_str());
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "velquin-pack: %s\n", message.c_str());
    return 1;
}

std::string baseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string::size_type dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path);
}

// A scratch folder that goes away with everything in it.
struct Scratch {
    std::string path;
    Scratch() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velquin-pack-XXXXXX";
        if (mkdtemp(&pattern[0]) != nullptr) {
            path = pattern;
        }
    }
    ~Scratch() {
        if (!path.empty()) {
            nftw(path.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    Pack::ImportOptions options;
    bool stand = true;
    double fit = 0; // millimetres of the largest side; 0: as the scale makes it
    std::string name;
    std::string operands[2];
    int operandCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "-V" || arg == "--version") {
            std::printf("velquin-pack %s\n", VELQUIN_VERSION);
            return 0;
        }
        if (arg == "--stand" || arg == "--no-stand") {
            stand = arg == "--stand";
            continue;
        }
        if (arg == "--scale" || arg == "--fit" || arg == "--up" || arg == "--front" || arg == "--name") {
            if (i + 1 >= argc) {
                return usageError(arg + " needs a value");
            }
            const std::string value = argv[++i];
            if (arg == "--scale" || arg == "--fit") {
                char* end = nullptr;
                const double number = std::strtod(value.c_str(), &end);
                if (end == value.c_str() || *end != '\0' || !std::isfinite(number) || number <= 0 ||
                    number > 1e9) {
                    return usageError(arg + " needs a positive number, not '" + value + "'");
                }
                (arg == "--scale" ? options.scale : fit) = number;
            } else if (arg == "--name") {
                name = value;
                if (Pack::safeName(name, "") != name) {
                    return usageError("--name takes letters, digits, '-', '.' and '_' only");
                }
            } else {
                if (value.size() != 2 || (value[0] != '+' && value[0] != '-') || value[1] < 'x' ||
                    value[1] > 'z') {
                    return usageError(arg + " takes +x, -x, +y, -y, +z or -z, not '" + value + "'");
                }
                (arg == "--up" ? options.up : options.front) = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (operandCount < 2) {
            operands[operandCount++] = arg;
        } else {
            return usageError("one model and one package, please");
        }
    }
    if (operandCount < 2) {
        return usageError(operandCount == 0 ? "no model given" : "no package file given");
    }
    const std::string& modelPath = operands[0];
    const std::string& packagePath = operands[1];
    if (name.empty()) {
        name = Pack::safeName(baseName(packagePath), "model");
    }

    Pack::Model model;
    std::string error;
    if (!Pack::importModel(modelPath, options, model, error)) {
        return failure(error);
    }

    Pack::Bounds bounds = Pack::boundsOf(model);
    float factor = 1;
    if (fit > 0) {
        if (!(bounds.largestSide() > 0)) {
            return failure(modelPath + ": the model has no extent to fit to a size");
        }
        factor = static_cast<float>(fit / bounds.largestSide());
    }
    const float lift = stand ? -(bounds.low[1] * factor) : 0.0f;
    if (factor != 1 || lift != 0) {
        Pack::placeModel(model, factor, lift);
        bounds = Pack::boundsOf(model);
    }

    Scratch scratch;
    if (scratch.path.empty()) {
        return failure(std::string("cannot make a scratch folder: ") + std::strerror(errno));
    }
    std::vector<std::string> files;
    {
        OgreExport exporter;
        if (!exporter.write(model, name, scratch.path, files, error)) {
            return failure(modelPath + ": " + error);
        }
    }

    std::unique_ptr<ZipHandle> zip = ZipWriter::create(packagePath);
    if (!zip) {
        return failure("cannot write " + packagePath + ": " + std::strerror(errno));
    }
    uint32_t result = ZipResult::Ok;
    for (const std::string& file : files) {
        if (result == ZipResult::Ok) {
            result = ZipWriter::addFile(zip.get(), file, scratch.path + "/" + file);
        }
    }
    const uint32_t closed = ZipWriter::close(zip);
    if (result != ZipResult::Ok || closed != ZipResult::Ok) {
        std::remove(packagePath.c_str());
        return failure("cannot write " + packagePath);
    }

    size_t triangles = 0;
    for (const Pack::Part& part : model.parts) {
        triangles += part.indices.size() / 3;
    }
    const Pack::Vec3& low = bounds.low;
    const Pack::Vec3& high = bounds.high;
    std::printf("%s: %s.mesh with %zu part(s), %zu triangles, %zu material(s), %zu texture(s)\n",
                packagePath.c_str(), name.c_str(), model.parts.size(), triangles, model.materials.size(),
                model.textures.size());
    std::printf("  size %.4g x %.4g x %.4g (x front to back, y up, z left to right), from y = %.4g to %.4g\n",
                high[0] - low[0], high[1] - low[1], high[2] - low[2], low[1], high[1]);
    if (!model.bones.empty()) {
        std::printf("  %s.skeleton with %zu bone(s)", name.c_str(), model.bones.size());
        const char* separator = "; animations: ";
        for (const Pack::Animation& animation : model.animations) {
            std::printf("%s%s (%.3g s)", separator, animation.name.c_str(), animation.length);
            separator = ", ";
        }
        std::printf("\n");
    }
    for (const std::string& note : model.notes) {
        std::printf("  note: %s\n", note.c_str());
    }
    return 0;
}
