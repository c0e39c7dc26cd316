#pragma once

#include <functional>
#include <string>
#include <vector>

namespace VelOS {

// What one command carries through the layers that serve it, in the open instead of in per-thread
// state: why it failed, whether its events may wait for the commands queued behind it, and what
// is to happen once its reply is written. The command loop makes one per connection and hands it
// to every operation it runs; the start-up command file, the project document and pointer
// interaction make their own.
//
// Used by the thread of the command and, while that thread waits for it, by the main thread that
// runs the command's engine work (the wait orders the two): never by two threads at once.
class CommandContext {
public:
    CommandContext() = default;
    // Sends what is held back and runs what waits for the reply.
    ~CommandContext();
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    // Why the command failed, or did less than asked where its reply stays "ok". The first reason
    // stays: the layer nearest the fault notes it first.
    void fail(const std::string& reason);
    const std::string& failure() const { return failure_; }
    // The reason, forgotten: the next command starts without one.
    std::string takeFailure();

    // The command loop: whether another command has already arrived behind this one. Its events
    // may then be held back and sent together with theirs.
    void setCommandsWaiting(bool waiting) { commandsWaiting_ = waiting; }
    bool commandsWaiting() const { return commandsWaiting_; }
    // Whoever held events back: how to send them when the batch ends (the last one given wins).
    void holdUntilBatchEnds(std::function<void()> send);
    // The command loop, before it waits for the next line: sends what was held back.
    void endBatch();

    // Runs the action once the command's reply is written (the last one given wins), or now
    // outside a command. Waking the main loop to draw what a command changed makes it take a
    // core at once; the reply goes first. The replies of commands that came together are written
    // together: the action then waits for that write.
    void afterReply(std::function<void()> action);
    // The command loop: a command starts; its reply (with those held before it) is written.
    void commandStarted();
    void replyWritten();

private:
    std::string failure_;
    bool commandsWaiting_ = false;
    std::function<void()> held_;    // sends the events held back in this batch
    bool inCommand_ = false;        // from commandStarted to the next replyWritten
    std::function<void()> pending_; // runs after the reply
};

} // namespace VelOS
