#include "net/console.h"

#include <cstdio>

namespace VelNet {

namespace {

void writeTo(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

void writeToStandardOutput(const std::string& text) {
    writeTo(stdout, text);
}

void writeToStandardError(const std::string& text) {
    writeTo(stderr, text);
}

} // namespace VelNet
