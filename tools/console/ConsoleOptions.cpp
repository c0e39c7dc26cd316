#include "tools/console/ConsoleOptions.h"

#include <cstdlib>

namespace VelConsole {

namespace {

bool readInteger(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    value = std::atoll(text.c_str());
    return value >= low && value <= high;
}

} // namespace

bool splitAddress(const std::string& text, std::string& host, int& port) {
    const std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    long long number = 0;
    if (host.empty() || !readInteger(text.substr(colon + 1), 0, 65535, number)) {
        return false;
    }
    port = static_cast<int>(number);
    return true;
}

bool isLoopbackHost(const std::string& host) {
    return host == "localhost" || host == "::1" || host.compare(0, 4, "127.") == 0;
}

bool parseConsoleOptions(int argc, const char* const* argv, ConsoleOptions& options, std::string& error) {
    for (int index = 0; index < argc; ++index) {
        const std::string argument = argv[index];
        auto value = [&](std::string& out) {
            if (index + 1 >= argc) {
                error = argument + " needs a value";
                return false;
            }
            out = argv[++index];
            return true;
        };
        std::string text;
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--player") {
            if (!value(text)) {
                return false;
            }
            if (!splitAddress(text, options.playerHost, options.playerPort) || options.playerPort == 0) {
                error = "--player wants HOST:PORT, not '" + text + "'";
                return false;
            }
        } else if (argument == "--listen") {
            if (!value(text)) {
                return false;
            }
            if (!splitAddress(text, options.listenAddress, options.listenPort)) {
                error = "--listen wants ADDRESS:PORT, not '" + text + "'";
                return false;
            }
        } else if (argument == "--token-file") {
            if (!value(options.tokenFile)) {
                return false;
            }
        } else if (argument == "--page") {
            if (!value(options.pageFolder)) {
                return false;
            }
        } else if (argument == "--velquin") {
            if (!value(options.playerProgram)) {
                return false;
            }
        } else if (argument == "--window-title") {
            if (!value(options.windowTitle)) {
                return false;
            }
        } else if (argument == "--max-upload") {
            long long megabytes = 0;
            if (!value(text)) {
                return false;
            }
            if (!readInteger(text, 1, 1 << 20, megabytes)) {
                error = "--max-upload wants a number of MiB from 1 to 1048576, not '" + text + "'";
                return false;
            }
            options.maxUploadBytes = megabytes << 20;
        } else {
            error = "unknown argument '" + argument + "'";
            return false;
        }
    }
    return true;
}

} // namespace VelConsole
