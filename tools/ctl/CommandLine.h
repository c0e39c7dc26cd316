#pragma once

// What one velquin-ctl invocation asks for, read from its arguments and environment.

#include <string>
#include <vector>

namespace VelCtl {

constexpr const char* DefaultHost = "127.0.0.1";
constexpr int DefaultPort = 4000;

struct CommandLine {
    enum class Action { Help, Version, Send, Listen, Upload, Download };

    Action action = Action::Help;
    std::string host = DefaultHost; // -H, or VELQUIN_HOST
    int port = DefaultPort;         // -p, or VELQUIN_PORT
    int timeoutMilliseconds = 0;    // -t; 0: no limit on waits for the player

    // send: sentences from the arguments, or else from sentenceFile ("-" or empty: standard input)
    std::vector<std::string> sentences;
    std::string sentenceFile;
    // listen: stop after this many events; 0: no limit
    long eventCount = 0;
    // upload: the local file ("-": standard input) and the name it gets on the player
    // download: the name on the player and the local file ("-": standard output; empty: the
    // name's last part in the current directory)
    std::string localFile;
    std::string remoteName;
};

// Reads the arguments after the program name. hostVariable and portVariable are the values of
// VELQUIN_HOST and VELQUIN_PORT (null when unset). False with a message for the user when the
// invocation is not usable.
bool parseCommandLine(const std::vector<std::string>& arguments, const char* hostVariable,
                      const char* portVariable, CommandLine& parsed, std::string& error);

// The text of --help.
const char* usageText();

} // namespace VelCtl
