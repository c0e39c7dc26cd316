#include "app/StartOptions.h"

#include <cstdlib>
#include <cstring>

StartOptions StartOptions::parse(int argc, const char* const* argv) {
    StartOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
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
