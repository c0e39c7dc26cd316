#include "app/StartOptions.h"

#include <cstdlib>
#include <cstring>

namespace {

// The limit the descriptors of one process put on connections is far above this.
constexpr int MostConnections = 100000;

void readAllowed(const std::string& text, const char* source, StartOptions& options) {
    std::string bad;
    if (!VelNet::parseAddressList(text, options.serverPolicy.allowed, bad)) {
        // An empty list would let everyone in: the start stops instead.
        options.error = std::string(source) + ": not a list of IPv4 addresses or blocks: " + bad;
    }
}

void readMaximum(const std::string& text, const char* source, int& maximum, StartOptions& options) {
    char* end = nullptr;
    const long count = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || count < 1 || count > MostConnections) {
        options.error = std::string(source) + ": not a number of connections from 1 to " +
                        std::to_string(MostConnections) + ": " + text;
    } else {
        maximum = static_cast<int>(count);
    }
}

} // namespace

StartOptions StartOptions::parse(int argc, const char* const* argv) {
    StartOptions options;
    if (const char* allowed = std::getenv("VELQUIN_ALLOW"); allowed != nullptr && *allowed != '\0') {
        readAllowed(allowed, "VELQUIN_ALLOW", options);
    }
    VelNet::ServerPolicy& policy = options.serverPolicy;
    if (const char* maximum = std::getenv("VELQUIN_MAX_CONNECTIONS");
        maximum != nullptr && *maximum != '\0') {
        readMaximum(maximum, "VELQUIN_MAX_CONNECTIONS", policy.maximumConnections, options);
    }
    if (const char* maximum = std::getenv("VELQUIN_MAX_PER_ADDRESS");
        maximum != nullptr && *maximum != '\0') {
        readMaximum(maximum, "VELQUIN_MAX_PER_ADDRESS", policy.maximumPerAddress, options);
    }
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--allow" || argument == "--max-connections" || argument == "--max-per-address") {
            if (i + 1 >= argc) {
                options.error = argument + " needs a value";
            } else if (argument == "--allow") {
                readAllowed(argv[++i], "--allow", options);
            } else if (argument == "--max-connections") {
                readMaximum(argv[++i], "--max-connections", policy.maximumConnections, options);
            } else {
                readMaximum(argv[++i], "--max-per-address", policy.maximumPerAddress, options);
            }
        } else if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--list-cameras") {
            options.listCameras = true;
        } else if (argument == "--settings") {
            options.settings = true;
        } else if (argument == "--fullscreen") {
            options.fullScreen = true;
        } else if (argument == "--screen" || argument.compare(0, 9, "--screen=") == 0) {
            std::string value;
            if (argument.size() > 8) {
                value = argument.substr(9);
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            char* end = nullptr;
            const long screen = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || screen < 0 || screen > 63) {
                options.error = "--screen needs a monitor number from 0";
            } else {
                options.screen = static_cast<int>(screen);
            }
        } else {
            options.arguments.push_back(argument);
        }
    }
    return options;
}
