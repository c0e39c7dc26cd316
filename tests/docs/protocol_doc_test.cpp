// docs/protocol.md lists every command with its argument kinds; clients are written from it. It
// must say what the command table does: the same names with the same signatures, no more, no less.
#include "net/CommandTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>

namespace {

using Row = std::pair<std::string, std::string>; // name, signature

// The text between the first pair of backquotes at or after from; empty when there is none.
std::string quoted(const std::string& line, std::string::size_type from, std::string::size_type& end) {
    const std::string::size_type open = line.find('`', from);
    end = open == std::string::npos ? std::string::npos : line.find('`', open + 1);
    return end == std::string::npos ? std::string() : line.substr(open + 1, end - open - 1);
}

// The command rows of the document's "Commands" section: "| `name` | `sig` |" or "| `name` | — |".
// (Read by hand: GCC's warnings about std::regex break the sanitizer builds.)
std::map<Row, int> documentedRows(const std::string& path) {
    std::ifstream file(path);
    EXPECT_TRUE(file.good()) << "cannot read " << path;
    std::map<Row, int> rows;
    bool inCommands = false;
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("## ", 0) == 0) {
            inCommands = line == "## Commands";
        }
        if (!inCommands || line.rfind("|", 0) != 0) {
            continue;
        }
        // First cell: the name alone in backquotes.
        const std::string::size_type second = line.find('|', 1);
        std::string::size_type end = 0;
        const std::string name = quoted(line, 1, end);
        if (second == std::string::npos || end == std::string::npos || end > second ||
            (name != "quit" && name.rfind("project.", 0) != 0) ||
            name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_.") !=
                std::string::npos) {
            continue;
        }
        // Second cell: the signature in backquotes, or a dash for none.
        const std::string::size_type third = line.find('|', second + 1);
        if (third == std::string::npos) {
            continue;
        }
        std::string cell = line.substr(second + 1, third - second - 1);
        cell.erase(0, cell.find_first_not_of(' '));
        cell.erase(cell.find_last_not_of(' ') + 1);
        std::string signature;
        if (cell.size() >= 3 && cell.front() == '`' && cell.back() == '`') {
            signature = cell.substr(1, cell.size() - 2);
            if (signature.find_first_not_of("sfl") != std::string::npos) {
                continue;
            }
        } else if (cell != "—") {
            continue;
        }
        ++rows[{name, signature}];
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
