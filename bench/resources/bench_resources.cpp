// Loading a 20 MB resource package (what "project.resources.create" runs) against Info-ZIP's
// unzip of the same package into a folder, side by side in one run. The package is the robot
// sample with more meshes, textures named by a material script and a long sound, most of it
// incompressible like real images. Prints the median times and their ratio.
// Usage: bench_resources [repetitions]   (needs an X display; starts itself under xvfb-run)
#include "resources/ResourceManager.h"
#include "resources/ResourceServices.h"
#include "zip/ZipWriter.h"

#include <OGRE/Ogre.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Services : public ResourceServices {
public:
    explicit Services(std::string directory) : directory_(std::move(directory)) {}
    const std::string& getWorkDirectory() override { return directory_; }

private:
    std::string directory_;
};

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string noise(size_t size, std::mt19937& generator) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator());
    }
    return bytes;
}

std::string entryOf(const std::string& archivePath, const std::string& name) {
    Ogre::Archive* archive = Ogre::ArchiveManager::getSingleton().load(archivePath, "Zip", true);
    std::string content = archive->open(name)->getAsString();
    Ogre::ArchiveManager::getSingleton().unload(archive);
    return content;
}

// The 20 MB package, written with the player's own ZIP writer.
std::string makePackage(const std::string& directory) {
    const std::string sample = std::string(VELQUIN_PLAYER_DIR) + "/samples/robot.zip";
    const std::string sources = directory + "sources/";
    mkdir(sources.c_str(), 0700);
    std::vector<std::pair<std::string, std::string>> entries; // name, source file
    Ogre::Archive* archive = Ogre::ArchiveManager::getSingleton().load(sample, "Zip", true);
    const Ogre::StringVectorPtr names = archive->list(false, false);
    for (const std::string& name : *names) {
        writeFile(sources + name, archive->open(name)->getAsString());
        entries.emplace_back(name, sources + name);
    }
    Ogre::ArchiveManager::getSingleton().unload(archive);

    std::mt19937 generator(7);
    const std::string mesh = entryOf(sample, "robot.mesh");
    std::string script;
    for (int k = 0; k < 8; ++k) {
        const std::string texture = "poster_" + std::to_string(k) + ".png";
        writeFile(sources + texture, noise(2 * 1024 * 1024, generator));
        entries.emplace_back(texture, sources + texture);
        script += "material Poster" + std::to_string(k) +
                  "\n{\n    technique\n    {\n        pass\n        {\n"
                  "            texture_unit\n            {\n                texture " +
                  texture + "\n            }\n        }\n    }\n}\n\n";
    }
    writeFile(sources + "posters.material", script);
    entries.emplace_back("posters.material", sources + "posters.material");
    for (int k = 0; k < 6; ++k) {
        const std::string name = "robot_copy_" + std::to_string(k) + ".mesh";
        writeFile(sources + name, mesh);
        entries.emplace_back(name, sources + name);
    }
    writeFile(sources + "narration.wav", noise(3 * 1024 * 1024 + 640 * 1024, generator));
    entries.emplace_back("narration.wav", sources + "narration.wav");

    const std::string path = directory + "big.zip";
    std::unique_ptr<ZipHandle> zip = ZipWriter::create(path);
    for (const auto& [name, source] : entries) {
        ZipWriter::addFile(zip.get(), name, source);
    }
    ZipWriter::close(zip);
    if (std::system(("rm -rf '" + sources + "'").c_str()) != 0) {
        std::fprintf(stderr, "could not remove %s\n", sources.c_str());
    }
    return path;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::vector<char*> command = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                      const_cast<char*>("-s"), const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i) {
            command.push_back(argv[i]);
        }
        command.push_back(nullptr);
        execvp("xvfb-run", command.data());
        std::perror("xvfb-run");
        return 1;
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velquin-bench-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        return 1;
    }
    const std::string work = pattern + "/";

    setenv("LP_NUM_THREADS", "0", 1);
    Ogre::LogManager logs;
    logs.createLog(work + "log.txt", true, false, false);
    Ogre::Root root(std::string(VELQUIN_PLAYER_DIR) + "/plugins.cfg", "", "");
    Ogre::RenderSystem* gl = root.getRenderSystemByName("OpenGL Rendering Subsystem");
    if (gl == nullptr) {
        std::fprintf(stderr, "no GL render system\n");
        return 1;
    }
    root.setRenderSystem(gl);
    root.initialise(false);
    root.createRenderWindow("bench", 64, 64, false);
    Ogre::SceneManager* scene = root.createSceneManager();

    const std::string package = makePackage(work);
    struct stat info {};
    stat(package.c_str(), &info);
    std::printf("package: %.1f MB\n", info.st_size / (1024.0 * 1024.0));

    Services services(work);
    ResourceManager resources;
    resources.bind(scene, &services);
    std::vector<double> create, unzip;
    for (int run = 0; run < repetitions; ++run) {
        const std::string name = "pkg" + std::to_string(run);
        auto start = Clock::now();
        if (!resources.create(name, package)) {
            std::fprintf(stderr, "create failed\n");
            return 1;
        }
        create.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        resources.destroy(name);

        const std::string folder = work + "unzip" + std::to_string(run);
        start = Clock::now();
        if (std::system(("unzip -q -o '" + package + "' -d '" + folder + "'").c_str()) != 0) {
            std::fprintf(stderr, "unzip failed\n");
            return 1;
        }
        unzip.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    if (std::system(("rm -rf '" + work + "'").c_str()) != 0) {
        std::fprintf(stderr, "could not remove %s\n", work.c_str());
    }
    const double ours = median(create);
    const double theirs = median(unzip);
    std::printf("resource create: %.1f ms (median of %d)\n", ours, repetitions);
    std::printf("unzip -q -o:     %.1f ms (median of %d)\n", theirs, repetitions);
    std::printf("ratio create/unzip: %.2f (target at most 1.5)\n", ours / theirs);
    return 0;
}
