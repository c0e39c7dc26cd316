#include "net/SocketChannel.h"

#include "net/NetTexts.h"

bool SocketChannel::isOpen() {
    return socket_.isValid();
}

bool SocketChannel::readLine(std::string& line) {
    return socket_.readLine(line);
}

void SocketChannel::writeLine(const std::string& line) {
    socket_.send(line);
}

long SocketChannel::readBytes(char* destination, long maximum) {
    return socket_.readBytes(destination, maximum);
}

long SocketChannel::writeBytes(const char* data, long length) {
    return socket_.send(data, length);
}

bool SocketChannel::hasWaitingLine() {
    return socket_.hasWaitingLine();
}

void SocketChannel::waitUntilLeaves() {
    std::string line;
    while (socket_.isValid() && socket_.readLine(line) && line != NetTexts::ListenerQuit) {
    }
}

void SocketChannel::sendLine(const std::string& line) {
    // Events are sent under the model lock: a listener that stopped reading must not hold up
    // the project. When its buffer is full it loses its connection (its wait then ends).
    if (!socket_.sendWithoutWaiting(line)) {
        socket_.shutdown();
    }
}
