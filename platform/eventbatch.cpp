#include "platform/eventbatch.h"

namespace VelOS {
namespace {
thread_local bool waiting = false;
thread_local std::function<void()> held;
thread_local bool inCommand = false;
thread_local std::function<void()> pending;
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
    if (held) {
        std::function<void()> send = std::move(held);
        held = nullptr;
        send();
    }
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
    if (pending) {
        std::function<void()> action = std::move(pending);
        pending = nullptr;
        action();
    }
}

} // namespace VelOS
