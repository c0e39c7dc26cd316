// docs/protocol.md lists every command with its argument kinds; clients are written from it. It
// must say what the command table does: the same names with the same signatures, no more, no less.
#include "net/CommandTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <utility>

namespace {

using Row = std::pair<std::string, std::string>; // name, signature

// The command rows of the document's "Commands" section: "| `name` | `sig` |" or "| `name` | — |".
std::map<Row, int> documentedRows(const std::string& path) {
    std::ifstream file(path);
    EXPECT_TRUE(file.good()) << "cannot read " << path;
    static const std::regex row(R"(^\|\s*`(quit|project\.[A-Za-z_.]+)`\s*\|\s*(`([sfl]+)`|—)\s*\|)");
    std::map<Row, int> rows;
    bool inCommands = false;
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("## ", 0) == 0) {
            inCommands = line == "## Commands";
        }
        std::smatch match;
        if (inCommands && std::regex_search(line, match, row)) {
            ++rows[{match[1].str(), match[3].str()}];
        }
    }
    return rows;
}

std::string describe(const Row& row) {
    return row.first + " (" + (row.second.empty() ? "no arguments" : row.second) + ")";
}

TEST(ProtocolDocument, ListsExactlyTheCommandTable) {
    const char* source = std::getenv("VELQUIN_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "run through CTest, which sets VELQUIN_SOURCE_DIR";
    std::map<Row, int> documented = documentedRows(std::string(source) + "/docs/protocol.md");

    std::map<Row, int> table;
    for (const CommandRow& command : commandTable()) {
        ++table[{command.name, command.signature}];
    }
    for (const auto& entry : table) {
        EXPECT_EQ(documented[entry.first], entry.second)
            << describe(entry.first) << " is in the command table but not (or not once) in docs/protocol.md";
    }
    for (const auto& entry : documented) {
        if (entry.second > 0) {
            EXPECT_EQ(table.count(entry.first), 1u)
                << describe(entry.first) << " is in docs/protocol.md but not in the command table";
        }
    }
    EXPECT_EQ(table.size(), 102u); // keeps the parser above honest: it must find every row
}

} // namespace
