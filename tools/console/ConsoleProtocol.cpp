#include "tools/console/ConsoleProtocol.h"

#include "tools/ctl/ctlprotocol.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace VelConsole {

namespace {

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads a quoted text starting at the opening quote; a backslash before a quote keeps the quote.
// Leaves at one past the closing quote. False when the line ends first.
bool readQuoted(const std::string& line, std::size_t& at, std::string& text) {
    text.clear();
    for (++at; at < line.size(); ++at) {
        const char c = line[at];
        if (c == '\\' && at + 1 < line.size() && line[at + 1] == '"') {
            text += '"';
            ++at;
        } else if (c == '"') {
            ++at;
            return true;
        } else {
            text += c;
        }
    }
    return false;
}

} // namespace

std::string bareNumber(double value) {
    char digits[64];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    std::string text(digits, result.ptr);
    const std::string::size_type plus = text.find("e+");
    if (plus != std::string::npos) {
        text.erase(plus + 1, 1);
    }
    return text;
}

bool buildSentence(const std::string& name, const nlohmann::json& arguments, std::string& sentence,
                   std::string& reason) {
    if (name.empty() || name.size() > 200) {
        reason = "no command name";
        return false;
    }
    for (const char c : name) {
        if (!isNameCharacter(c)) {
            reason = "not a command name: " + name;
            return false;
        }
    }
    if (!arguments.is_null() && !arguments.is_array()) {
        reason = "the arguments are not a list";
        return false;
    }
    std::string built = name + "(";
    std::size_t index = 0;
    for (const nlohmann::json& argument : arguments.is_array() ? arguments : nlohmann::json::array()) {
        if (index++ > 0) {
            built += ", ";
        }
        if (argument.is_string()) {
            std::string quoted;
            if (!VelCtl::quoteArgument(argument.get<std::string>(), quoted)) {
                reason = "a text may not hold a backslash or a line end";
                return false;
            }
            built += quoted;
        } else if (argument.is_number()) {
            const double value = argument.get<double>();
            if (!std::isfinite(value)) {
                reason = "not a finite number";
                return false;
            }
            built += argument.is_number_integer() || argument.is_number_unsigned() ? argument.dump()
                                                                                   : bareNumber(value);
        } else {
            reason = "an argument must be a text or a number";
            return false;
        }
    }
    sentence = built + ");" + VelCtl::LineEnd;
    return true;
}

bool parseEvent(const std::string& line, Event& event) {
    event.name.clear();
    event.arguments.clear();
    std::size_t at = 0;
    while (at < line.size() && isNameCharacter(line[at])) {
        event.name += line[at++];
    }
    if (event.name.empty() || at >= line.size() || line[at] != '(') {
        return false;
    }
    ++at;
    for (;;) {
        while (at < line.size() && (isBlank(line[at]) || line[at] == ',')) {
            ++at;
        }
        if (at >= line.size()) {
            return false;
        }
        if (line[at] == ')') {
            ++at;
            break;
        }
        std::string text;
        if (line[at] == '"') {
            if (!readQuoted(line, at, text)) {
                return false;
            }
        } else {
            while (at < line.size() && line[at] != ',' && line[at] != ')' && line[at] != '"' &&
                   !isBlank(line[at])) {
                text += line[at++];
            }
        }
        event.arguments.push_back(std::move(text));
    }
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    return at < line.size() && line[at] == ';';
}

bool parseList(const std::string& reply, std::vector<std::string>& entries) {
    entries.clear();
    std::size_t at = 0;
    while (at < reply.size()) {
        if (reply[at] != '"') {
            return false;
        }
        std::string entry;
        if (!readQuoted(reply, at, entry)) {
            return false;
        }
        entries.push_back(std::move(entry));
        if (at == reply.size()) {
            break;
        }
        if (reply.compare(at, 2, ", ") != 0) {
            return false;
        }
        at += 2;
    }
    return true;
}

bool parseQuoted(const std::string& reply, std::string& text) {
    if (reply.size() < 2 || reply.front() != '"' || reply.back() != '"') {
        return false;
    }
    text = reply.substr(1, reply.size() - 2);
    return true;
}

bool parseNumbers(const std::string& reply, std::vector<double>& numbers) {
    numbers.clear();
    if (reply.size() < 2 || reply.front() != '(' || reply.back() != ')') {
        return false;
    }
    const std::string inside = reply.substr(1, reply.size() - 2);
    const char* at = inside.c_str();
    for (;;) {
        char* end = nullptr;
        const double value = std::strtod(at, &end);
        if (end == at) {
            return false;
        }
        numbers.push_back(value);
        at = end;
        while (isBlank(*at)) {
            ++at;
        }
        if (*at == '\0') {
            return true;
        }
        if (*at != ',') {
            return false;
        }
        ++at;
    }
}

} // namespace VelConsole
