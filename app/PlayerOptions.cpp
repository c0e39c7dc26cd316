#include "app/PlayerOptions.h"

#include <cstdlib>
#include <cstring>

namespace {

// A whole decimal number from 1 to maximum; false for anything else.
bool readCount(const std::string& text, int maximum, int& count) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int value = std::stoi(text);
    if (value < 1 || value > maximum) {
        return false;
    }
    count = value;
    return true;
}

// The limit the descriptors of one process put on connections is far above this.
constexpr int MostConnections = 100000;

void readAllowed(const std::string& text, const char* source, PlayerOptions& options) {
    std::string bad;
    if (!VelNet::parseAddressList(text, options.serverPolicy.allowed, bad)) {
        options.error = std::string(source) + ": not an IPv4 address or block: " + bad;
    }
}

void readMaximum(const std::string& text, const char* source, PlayerOptions& options) {
    if (!readCount(text, MostConnections, options.serverPolicy.maximumConnections)) {
        options.error = std::string(source) + ": not a number of connections from 1 to " +
                        std::to_string(MostConnections) + ": " + text;
    }
}

} // namespace

PlayerOptions readPlayerOptions(int argc, char** argv) {
    PlayerOptions options;
    // The environment first, so that the command line wins.
    if (const char* allowed = std::getenv("VELQUIN_ALLOW"); allowed != nullptr && *allowed != '\0') {
        readAllowed(allowed, "VELQUIN_ALLOW", options);
    }
    if (const char* maximum = std::getenv("VELQUIN_MAX_CONNECTIONS"); maximum != nullptr && *maximum != '\0') {
        readMaximum(maximum, "VELQUIN_MAX_CONNECTIONS", options);
    }
    for (int index = 1; index < argc && options.error.empty(); ++index) {
        const std::string argument = argv[index];
        auto value = [&](const char* option) -> const char* {
            if (index + 1 >= argc) {
                options.error = std::string(option) + " needs a value";
                return nullptr;
            }
            return argv[++index];
        };
        if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--allow") {
            if (const char* text = value("--allow")) {
                readAllowed(text, "--allow", options);
            }
        } else if (argument == "--max-connections") {
            if (const char* text = value("--max-connections")) {
                readMaximum(text, "--max-connections", options);
            }
        } else if (argument.size() > 2 && argument.compare(0, 2, "--") == 0) {
            options.error = "unknown option " + argument;
        } else {
            options.files.push_back(argument);
        }
    }
    return options;
}
