#include "platform/eventbatch.h"

namespace VelOS {
namespace {
thread_local bool waiting = false;
thread_local std::function<void()> held;
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

} // namespace VelOS
