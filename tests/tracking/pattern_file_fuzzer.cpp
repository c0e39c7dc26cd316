// Feeds arbitrary bytes to the pattern file loader as a file, then matches a sample against
// whatever loaded. A load either fills a slot whose values are all within range or fails with
// the slot left free.
#include "tracking/detection.h"
#include "tracking/pattern.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// One marker library for the whole fuzzing run, as a player keeps one for its life.
Ostrevan::Library& library() {
    static Ostrevan::Library instance;
    return instance;
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string scratchFile() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velquin-pattern-fuzz-" +
           std::to_string(getpid()) + ".pat";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The loader reports bad files on standard output; a fuzzing run would drown in them.
    check(std::freopen("/dev/null", "w", stdout) != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = scratchFile();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    check(file != nullptr);
    check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);

    const int before = library().patternCount();
    const int slot = library().loadPattern(path.c_str());
    std::remove(path.c_str());
    if (slot < 0) {
        check(library().patternCount() == before);
        return 0;
    }
    check(slot < Ostrevan::kPatternSlots && library().patternCount() == before + 1);
    const Ostrevan::PatternSlot* pattern = library().patternSlot(slot);
    check(pattern != nullptr);
    for (int o = 0; o < 4; ++o) {
        for (int v : pattern->colour[o]) {
            check(v >= -255 && v <= 255);
        }
        check(pattern->colourNorm[o] > 0.0 && pattern->greyNorm[o] > 0.0);
    }
    Ostrevan::SampledPattern sample;
    for (size_t i = 0; i < sizeof sample.cells; ++i) {
        (&sample.cells[0][0][0])[i] = size > 0 ? data[i % size] : 0;
    }
    int id;
    int direction;
    double confidence;
    library().matchPattern(sample, &id, &direction, &confidence);
    check(confidence >= -1.0 - 1e-9 && confidence <= 1.0 + 1e-9);
    check(library().freePattern(slot) == 1);
    return 0;
}
