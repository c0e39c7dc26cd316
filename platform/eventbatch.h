#pragma once

#include <functional>

// Holding events back while a client's commands arrive faster than they are answered.
//
// A connection that has sent several commands at once gets their events sent together, one
// send per listener instead of one per event, when its command loop says more commands are
// waiting. Whoever holds events back on a thread leaves here how to send them; the command
// loop ends the batch before it waits for the next line, so nothing stays held while the
// client is silent. Everything here is per thread.
namespace VelOS {

// The command loop: whether the command about to run has another one already received behind it.
void setCommandsWaiting(bool waiting);
bool commandsWaiting();
// Whoever held events back: how to send them at the end of the batch (the last one given wins).
void holdUntilBatchEnds(std::function<void()> send);
// The command loop: sends what was held back on this thread, if anything.
void endBatch();

// Waking the main loop to draw what a command changed makes it take a core at once; the reply
// goes first. Inside a command of a command loop the action waits until the command's reply is
// written (the last one given wins); anywhere else it runs now.
void afterReply(std::function<void()> action);
// The command loop, around one command: from its start, actions wait; after its reply is
// written, they run.
void commandStarted();
void replyWritten();

} // namespace VelOS
