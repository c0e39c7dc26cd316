#pragma once

// The remote control's own texts, in one place: what clients read on the wire and what the
// player writes to standard output and standard error about its connections.
namespace NetTexts {
// Socket failures, written to standard error by the server.
constexpr const char* DatagramNotImplemented = "DGRAM Not implemented";
constexpr const char* SocketError = "socket error";
constexpr const char* BindError = "bind error";
constexpr const char* ListenError = "listen error";
constexpr const char* AcceptError = "accept error";
// Appended to "accept error" when accepting fails for lack of descriptors or memory, and when it
// fails otherwise; the server keeps accepting in both cases.
constexpr const char* AcceptShortage = ": out of descriptors or memory, accepting again shortly";
constexpr const char* AcceptRetry = ", accepting again shortly";
// A connection closed unserved: "refused client 10.0.0.7: not in the allowed addresses".
constexpr const char* RefusedClient = "refused client ";
constexpr const char* NotAllowed = ": not in the allowed addresses";
constexpr const char* TooManyConnections = ": too many connections (limit ";
constexpr const char* TooManyFromAddress = ": too many connections from this address (limit ";
// A connection closed to make room for a trusted client: "closed client 127.0.0.1: its place
// goes to a local or allowed client (limit 256)".
constexpr const char* ClosedClient = "closed client ";
constexpr const char* MakingRoom = ": its place goes to a local or allowed client (limit ";
// No thread could be made for an accepted connection; the connection is closed unserved.
constexpr const char* ThreadError = "thread error";
// A line went past the line reader's limit; the connection ends as if the peer had closed.
constexpr const char* LineTooLong = "line too long";
// A handler ended its connection by an exception instead of returning.
constexpr const char* ConnectionError = "connection error: ";

// Bookkeeping lines on standard output: "Started 3 connection (of 2" (no closing parenthesis).
constexpr const char* Started = "Started ";
constexpr const char* Stopped = "Stopped ";
constexpr const char* ConnectionOf = " connection (of ";

// Handshake sentences and the command that ends a command loop.
constexpr const char* CommandMode = "command";
constexpr const char* ListenerMode = "listener";
constexpr const char* UploadMode = "uploadFile";
constexpr const char* DownloadMode = "downloadFile";
constexpr const char* Quit = "quit";
// Replies of the handshake end in a line feed only.
constexpr const char* HandshakeEnd = "\n";

// A connection ended before a whole line arrived (standard output).
constexpr const char* NextLineError = "nextLine error";

// File transfer lines of the engine log.
constexpr const char* UploadLog = "SceneParser::uploadFile: ";
constexpr const char* DownloadLog = "SceneParser::downloadFile: ";
constexpr const char* SizeLog = " size: ";

// What a listening client sends to leave.
constexpr const char* ListenerQuit = "quit();";

// Reply lines of the command loop.
constexpr const char* ReplyEnd = "\r\n";
constexpr const char* Ok = "ok";
constexpr const char* Fail = "fail";
constexpr const char* FailPrefix = "fail ";
constexpr const char* True = "true";
constexpr const char* False = "false";
constexpr const char* ParserError = "parser error";
constexpr const char* InvalidSentence = "invalid sentence";

// Reasons of the failure lines (engine log and standard error) that the layers below give none.
constexpr const char* FailedReason = "failed";
constexpr const char* UploadRefused = "refused: the name leads out of the work directory";
constexpr const char* CannotRead = "cannot read the file: ";
constexpr const char* UploadCannotWrite = "cannot write the file: ";
constexpr const char* UploadNoRoom = "refused: ";
constexpr const char* UploadCut =
    "the connection ended before the announced size arrived: the file is left as it was";
} // namespace NetTexts
