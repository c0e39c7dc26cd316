#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace VelNet {

// One parsed line of the protocol: a name and its argument texts, as in
//     project.actors.mesh.create("ship", "fleet", "ship.mesh");
// with signature matching and typed argument reading. One object per command loop or per
// handshake, reused for every line; used by one thread at a time.
//
// Bare arguments hold name characters only (letters, digits, "-", "." and "_"); anything else
// must be quoted, since the rest of a bare argument up to the next "," or ")" is skipped. Inside
// quotes a backslash before a double quote keeps that quote in the text.
class Sentence {
public:
    // Thrown by the scanner when it is asked to step past the end of the line; parse turns it
    // into a failure.
    struct end_of_line {};

    // Parses one line (without its line end). On failure name and arguments hold whatever was
    // read so far and must not be used.
    bool parse(const std::string& line);

    // True when the name is exactly the given one and the arguments fit the signature: one
    // letter per argument, "s" any text, "f" a number, "l" an integer (read from the start of
    // the argument, the rest ignored).
    bool matches(const std::string& name, const std::string& signature) const;

    const std::string& name() const { return name_; }
    // Raw argument texts: quotes resolved, backslashes still present.
    const std::vector<std::string>& arguments() const { return arguments_; }

    // The argument with every backslash removed; empty past the last argument.
    std::string textArgument(std::size_t index) const;
    // The integer at the start of the argument; 0 when there is none or past the last argument.
    long longArgument(std::size_t index) const;
    // The integer at the start of the argument when it fits a 32-bit int: false for a value
    // that would wrap (4294967296 is not 0), for no number and past the last argument.
    bool intArgument(std::size_t index, int& value) const;
    // The number at the start of the argument; 0.0 when there is none or past the last argument.
    double doubleArgument(std::size_t index) const;

private:
    void advance();
    void skipBlanks();
    void readArgument();

    std::string name_;                   // the command name of the last parsed line
    std::vector<std::string> arguments_; // its raw argument texts, in order
    const char* position_ = nullptr;     // scanner: the current character of the line being parsed
    const char* end_ = nullptr;          // scanner: one past the last character of that line
    char current_ = 0;                   // the character under the scanner; 0 at the end of the line
    char previous_ = 0;                  // the character current before the last advance
};

} // namespace VelNet
