#pragma once

#include <functional>
#include <string>
#include <vector>

class ProjectOperations;
namespace VelNet {
class Sentence;
}
namespace VelOS {
class CommandContext;
}

// One row of the protocol's vocabulary: a command name, the argument kinds it takes ("s" text,
// "f" number, "l" integer) and what it does: call one project operation and build the reply
// line (ending in CR LF).
struct CommandRow {
    std::string name;
    std::string signature;
    std::function<std::string(ProjectOperations&, VelOS::CommandContext&, const VelNet::Sentence&)> run;
};

// The command table in lookup order: the first row whose name and signature match a sentence is
// the one that runs. "quit" is the first row; it calls nothing (the loop ends on it). Built once,
// read-only afterwards, shared by every connection thread.
const std::vector<CommandRow>& commandTable();
