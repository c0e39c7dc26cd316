#include "platform/CommandContext.h"

namespace VelOS {

namespace {

// Runs what the slot holds, emptied first: what runs may fill it again.
void runOnce(std::function<void()>& slot) {
    if (slot) {
        std::function<void()> work = std::move(slot);
        slot = nullptr;
        work();
    }
}

} // namespace

CommandContext::~CommandContext() {
    replyWritten();
    endBatch();
}

void CommandContext::fail(const std::string& reason) {
    if (failure_.empty()) {
        failure_ = reason;
    }
}

std::string CommandContext::takeFailure() {
    std::string reason;
    reason.swap(failure_);
    return reason;
}

void CommandContext::holdUntilBatchEnds(std::function<void()> send) {
    held_ = std::move(send);
}

void CommandContext::endBatch() {
    commandsWaiting_ = false;
    runOnce(held_);
}

void CommandContext::afterReply(std::function<void()> action) {
    if (inCommand_) {
        pending_ = std::move(action);
        return;
    }
    action();
}

void CommandContext::commandStarted() {
    inCommand_ = true;
}

void CommandContext::replyWritten() {
    inCommand_ = false;
    runOnce(pending_);
}

} // namespace VelOS
