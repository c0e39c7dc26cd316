#include "app/CommandFileChannel.h"

CommandFileChannel::CommandFileChannel(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
    ended_ = file_ == nullptr;
}

CommandFileChannel::~CommandFileChannel() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool CommandFileChannel::isOpen() {
    return !ended_;
}

bool CommandFileChannel::readLine(std::string& line) {
    if (ended_) {
        return false;
    }
    line.clear();
    int c = 0;
    while ((c = std::getc(file_)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (c == EOF) {
        ended_ = true;
        // The last line of a file without a final line feed still counts.
        return !line.empty();
    }
    // Look one character ahead, so that the channel closes right after the last line and the
    // command loop ends without asking for a line that does not exist.
    const int next = std::getc(file_);
    if (next == EOF) {
        ended_ = true;
    } else {
        std::ungetc(next, file_);
    }
    return true;
}

void CommandFileChannel::writeLine(const std::string& /*line*/) {}
