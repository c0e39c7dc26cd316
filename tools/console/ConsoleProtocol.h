#pragma once

// The player's protocol as the console sees it: sentences built from what a page asks for, and the
// player's replies and event sentences read back into plain values for the page. Text only, no
// socket; used from the console's network thread and the tests.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace VelConsole {

// One command as a page sends it: the command name and its arguments, texts or numbers.
// Builds the sentence with its CR LF, or returns false with reason set: a name that is not a
// command name, an argument that is neither text nor a finite number, a text the player could not
// read back unchanged (backslash, CR, LF, NUL).
bool buildSentence(const std::string& name, const nlohmann::json& arguments, std::string& sentence,
                   std::string& reason);

// A number as a bare argument the player reads back as the same double: shortest round-trip
// digits, no "+" (which cannot travel bare).
std::string bareNumber(double value);

// An event sentence as the player sends it, with its historic shapes: quoted texts that follow
// each other without a comma ("created("a""b""c");"), a number right after a closing quote
// ("rotated("a"0, 90, 0);") and an unquoted name ("viewports(robot);"). Every argument comes back
// as text with its escapes resolved. False for a line that is no sentence.
struct Event {
    std::string name;
    std::vector<std::string> arguments;
};
bool parseEvent(const std::string& line, Event& event);

// Replies, as the player writes them (without the line end).
// A list: "a", "b" with \" inside entries; an empty line is the empty list.
bool parseList(const std::string& reply, std::vector<std::string>& entries);
// A quoted text: "TEXT" (quotes inside are not escaped by the player, so everything between the
// first and the last quote).
bool parseQuoted(const std::string& reply, std::string& text);
// A triple or quadruple of numbers: (1, 2.5, 0.125).
bool parseNumbers(const std::string& reply, std::vector<double>& numbers);

} // namespace VelConsole
