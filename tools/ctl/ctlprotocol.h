#pragma once

// The player's wire protocol as a client sees it: sentences to send, replies to read. Plain text
// helpers without any socket, shared by velquin-ctl and its tests.

#include <string>
#include <vector>

namespace VelCtl {

// The first sentences that choose a connection's mode, each ended for the wire.
constexpr const char* CommandHandshake = "command();\r\n";
constexpr const char* ListenerHandshake = "listener();\r\n";
constexpr const char* QuitSentence = "quit();\r\n";
constexpr const char* LineEnd = "\r\n";
// The handshake's only success answer.
constexpr const char* Accepted = "ok";

// Puts text between double quotes so that the player reads it back unchanged. The player
// removes every backslash from a text and ends lines at CR LF, so a text holding a backslash,
// CR, LF or NUL cannot travel: false then, and quoted is left alone.
bool quoteArgument(const std::string& text, std::string& quoted);

// "uploadFile("NAME", SIZE);" and "downloadFile("NAME");" with their line end; false when the
// name cannot be quoted.
bool uploadSentence(const std::string& name, long long size, std::string& sentence);
bool downloadSentence(const std::string& name, std::string& sentence);

// The file name the player stores an upload under: the part after the last "/".
std::string storedName(const std::string& name);

// A name the player can store: not empty, not "." or "..", and quotable.
bool isStorableName(const std::string& name);

// True for a reply that reports a failure: "fail" alone or "fail " and a text. Successful
// replies never start that way (texts come quoted, lists as quoted entries).
bool isFailureReply(const std::string& reply);

// Lines the player reads without answering: empty ones and comments starting with "#". A client
// must not send them and then wait for a reply.
bool isSilentLine(const std::string& line);

// The command name at the start of a sentence line, as the player reads it: leading characters
// that cannot be part of a name are skipped, blanks before the name too.
std::string sentenceName(const std::string& line);

// Cuts text into lines at LF; a CR before the LF is dropped. A last line without LF counts.
std::vector<std::string> splitLines(const std::string& text);

// Removes one CR at the end of a line received from the player.
std::string withoutCarriageReturn(std::string line);

} // namespace VelCtl
