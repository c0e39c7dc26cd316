#pragma once

#include "net/ServerPolicy.h"

#include <string>
#include <vector>

// What the command line asks of a start. Options may stand anywhere; every other argument is
// kept in order, and a command file runs only when exactly one is left.
struct StartOptions {
    bool help = false;        // --help
    bool version = false;     // --version
    bool listCameras = false; // --list-cameras
    bool settings = false;    // --settings: the engine's configuration dialog first
    bool fullScreen = false;  // --fullscreen
    int screen = -1;          // --screen N: the monitor to open on, from 0; -1 the primary one
    // --allow, --max-connections, --max-per-address (or VELQUIN_ALLOW, VELQUIN_MAX_CONNECTIONS,
    // VELQUIN_MAX_PER_ADDRESS)
    VelNet::ServerPolicy serverPolicy;
    std::vector<std::string> arguments; // everything that is not an option
    std::string error;                  // a malformed option; empty when all is well

    // Reads argv[1..argc-1], and the environment variables named above; the command line wins.
    static StartOptions parse(int argc, const char* const* argv);
};
