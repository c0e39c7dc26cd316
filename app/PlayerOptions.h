#pragma once

#include "net/ServerPolicy.h"

#include <string>
#include <vector>

// What the command line and the environment ask of one run of the player. Options come before
// the command file; the command file runs only when exactly one other argument is left.
struct PlayerOptions {
    bool help = false;                // --help: the usage text, nothing else
    bool version = false;             // --version
    std::vector<std::string> files;   // arguments that are no option; one of them is the command file
    VelNet::ServerPolicy serverPolicy; // --allow, --max-connections (VELQUIN_ALLOW, VELQUIN_MAX_CONNECTIONS)
    std::string error;                // why the arguments could not be read; empty when they could

    // The command file to run at start: the one file argument, or empty.
    std::string commandFile() const { return files.size() == 1 ? files.front() : std::string(); }
};

// Reads the arguments (argv[1] on) and the environment variables named above. An option value
// that cannot be read leaves its reason in error.
PlayerOptions readPlayerOptions(int argc, char** argv);
