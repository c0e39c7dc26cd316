#include "platform/eventbatch.h"

namespace VelOS {
namespace {
thread_local bool waiting = false;
thread_local std::function<void()> held;
thread_local bool inCommand = false;
thread_local std::function<void()> pending;

// Runs what the slot holds, emptied first: what runs may fill it again.
void runOnce(std::function<void()>& slot) {
    if (slot) {
        std::function<void()> work = std::move(slot);
        slot = nullptr;
        work();
    }
}
} // namespace

void setCommandsWaiting(bool commandsWaiting) {
    waiting = commandsWaiting;
}

bool commandsWaiting() {
    return waiting;
}

void holdUntilBatchEnds(std::function<void()> send) {
    held = std::move(send);
}

void endBatch() {
    waiting = false;
    runOnce(held);
}

void afterReply(std::function<void()> action) {
    if (inCommand) {
        pending = std::move(action);
        return;
    }
    action();
}

void commandStarted() {
    inCommand = true;
}

void replyWritten() {
    inCommand = false;
    runOnce(pending);
}

} // namespace VelOS
