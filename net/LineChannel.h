#pragma once

#include <string>

// What the command loop reads commands from and writes replies to: a socket connection
// (SocketChannel) or the start-up command file (CommandFileChannel). Used by one thread at a
// time: the connection's own thread, or the main thread during start-up.
class LineChannel {
public:
    virtual ~LineChannel() = default;
    // True while lines may still come.
    virtual bool isOpen() = 0;
    // The next line without its line end; false when no line could be read.
    virtual bool readLine(std::string& line) = 0;
    // Sends the text unchanged; the caller supplies the line end.
    virtual void writeLine(const std::string& line) = 0;
    // True when a whole line has arrived already, so that readLine returns without waiting.
    virtual bool hasWaitingLine() { return false; }
};
