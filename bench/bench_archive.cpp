// archiveFiles against Info-ZIP's "zip -8" on the same 50 MB mixed corpus, side by side in one
// run: text, mesh-like binary and already-compressed images. Prints the median times, the time
// ratio and the size ratio. Usage: bench_archive [repetitions] [megabytes]
#include "platform/fileutil.h"
#include "resources/FileArchive.h"

#include <algorithm>
#include <chrono>
#include <cmath>
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

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string textOf(size_t size, std::mt19937& generator) {
    static const char* const words[] = {
        "marker", "camera",  "scene",        "actor",    "light",   "mesh", "pose",      "the",
        "of",     "and",     "presentation", "material", "texture", "pass", "technique", "{",
        "}",      "ambient", "0.5",          "1.0",      "diffuse", "node"};
    std::string text;
    text.reserve(size + 64);
    while (text.size() < size) {
        const int count = 3 + static_cast<int>(generator() % 9);
        for (int i = 0; i < count; ++i) {
            text += words[generator() % (sizeof words / sizeof words[0])];
            text += ' ';
        }
        text += '\n';
    }
    text.resize(size);
    return text;
}

// Vertex records of a smooth surface with normals and texture coordinates, then an index list:
// what a binary mesh looks like to a compressor.
std::string meshOf(size_t size, std::mt19937& generator) {
    std::string bytes;
    bytes.reserve(size + 64);
    std::uniform_real_distribution<float> jitter(-0.001f, 0.001f);
    for (unsigned i = 0; bytes.size() < size * 3 / 4; ++i) {
        const float u = static_cast<float>(i % 256) / 255.0f;
        const float v = static_cast<float>(i / 256 % 256) / 255.0f;
        const float record[8] = {u * 10, std::sin(u * 6.28f) * std::cos(v * 6.28f) + jitter(generator),
                                 v * 10, 0.0f,
                                 1.0f,   0.0f,
                                 u,      v};
        bytes.append(reinterpret_cast<const char*>(record), sizeof record);
    }
    for (uint32_t i = 0; bytes.size() < size; ++i) {
        const uint32_t triangle[3] = {i, i + 1, i + 256};
        bytes.append(reinterpret_cast<const char*>(triangle), sizeof triangle);
    }
    bytes.resize(size);
    return bytes;
}

std::string noiseOf(size_t size, std::mt19937& generator) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator());
    }
    return bytes;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const size_t megabytes = argc > 2 ? static_cast<size_t>(std::max(1, std::atoi(argv[2]))) : 50;
    char pattern[] = "/tmp/velquin-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = std::string(pattern) + "/";
    std::mt19937 generator(2026);
    std::vector<std::string> files;
    const size_t mb = 1024 * 1024;
    const size_t pieces = 10;
    for (size_t i = 0; i < pieces; ++i) {
        const std::string n = std::to_string(i);
        files.push_back(dir + "notes" + n + ".txt");
        writeFile(files.back(), textOf(megabytes * mb * 4 / 10 / pieces, generator));
        files.push_back(dir + "model" + n + ".mesh");
        writeFile(files.back(), meshOf(megabytes * mb * 4 / 10 / pieces, generator));
        files.push_back(dir + "photo" + n + (i % 2 ? ".png" : ".jpg"));
        writeFile(files.back(), noiseOf(megabytes * mb * 2 / 10 / pieces, generator));
    }
    std::string fileArguments;
    for (const std::string& file : files) {
        fileArguments += " '" + file + "'";
    }

    const std::string ours = dir + "ours.zip";
    const std::string theirs = dir + "theirs.zip";
    std::vector<double> ourTimes, theirTimes;
    for (int r = 0; r < repetitions; ++r) {
        std::remove(ours.c_str());
        auto start = Clock::now();
        archiveFiles(ours, files);
        ourTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());

        std::remove(theirs.c_str());
        start = Clock::now();
        const std::string command = "zip -8 -q -j '" + theirs + "'" + fileArguments;
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "zip failed (is Info-ZIP installed?)\n");
            return 1;
        }
        theirTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double ourMedian = median(ourTimes);
    const double theirMedian = median(theirTimes);
    const long ourSize = fileSize(ours);
    const long theirSize = fileSize(theirs);
    std::printf("corpus: %zu MB in %zu files, %d repetitions\n", megabytes, files.size(), repetitions);
    std::printf("archiveFiles: median %.3f s, %ld bytes\n", ourMedian, ourSize);
    std::printf("zip -8:       median %.3f s, %ld bytes\n", theirMedian, theirSize);
    std::printf("time ratio (archiveFiles / zip -8): %.3f (target <= 1.10)\n", ourMedian / theirMedian);
    std::printf("size ratio (archiveFiles / zip -8): %.4f (target within 1%%)\n",
                static_cast<double>(ourSize) / static_cast<double>(theirSize));
    VelOS::removeDirectoryTree(dir);
    return 0;
}
