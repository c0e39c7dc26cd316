#pragma once

// velquin-console's command line: where the player is, where the page is served, the access token
// and the limits. Read once at start by main.

#include <string>

namespace VelConsole {

struct ConsoleOptions {
    std::string playerHost = "127.0.0.1"; // --player HOST:PORT: the player to drive
    int playerPort = 4000;
    std::string listenAddress = "127.0.0.1"; // --listen ADDRESS:PORT: where the page is served
    int listenPort = 8080;                   // 0: any free port (the address printed says which)
    std::string tokenFile;                   // --token-file: read the access token from there
    std::string pageFolder;    // --page DIR: the page's files (default: console/ beside the program)
    std::string playerProgram; // --velquin PATH: the player, asked for its cameras
    std::string windowTitle = "Velquinor";   // --window-title: the player window shown as the live picture
    long long maxUploadBytes = 1024LL << 20; // --max-upload MIB: the largest file a page may upload
    bool help = false;
    bool version = false;
};

// Reads the arguments (without the program name). False with error set on a usage error.
bool parseConsoleOptions(int argc, const char* const* argv, ConsoleOptions& options, std::string& error);

// Splits "HOST:PORT" (the last colon counts; "[::1]:80" keeps its brackets off). False when the
// port is not 0..65535 or the host is empty.
bool splitAddress(const std::string& text, std::string& host, int& port);

// True for an address of this machine: the loopback block, "localhost", "::1".
bool isLoopbackHost(const std::string& host);

} // namespace VelConsole
