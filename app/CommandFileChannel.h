#pragma once

#include "net/LineChannel.h"

#include <cstdio>
#include <string>

// The start-up command file as a line channel: lines up to a line feed, without it; replies
// are discarded. A file that cannot be opened yields no line. Main thread only, before the
// main loop starts.
class CommandFileChannel : public LineChannel {
public:
    explicit CommandFileChannel(const std::string& path);
    ~CommandFileChannel() override;
    CommandFileChannel(const CommandFileChannel&) = delete;
    CommandFileChannel& operator=(const CommandFileChannel&) = delete;

    // True until the end of the file has been reached.
    bool isOpen() override;
    bool readLine(std::string& line) override;
    void writeLine(const std::string& line) override;

private:
    std::FILE* file_;
    bool ended_ = false;
};
