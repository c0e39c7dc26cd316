#pragma once

#include <functional>
#include <string>

// The render engine's log as seen by the parts that must not depend on the engine (the remote
// control, the tracking library). The application points it at the engine's log at set-up;
// until then, and in tests that set nothing, lines go nowhere. Any thread may write; writes
// are serialised.
namespace VelOS {

using EngineLogSink = std::function<void(const std::string& line)>;

// Replaces the sink; an empty function turns logging off.
void setEngineLogSink(EngineLogSink sink);
// Writes one line at the engine's normal level.
void engineLog(const std::string& line);
// Why an operation failed (or, where its reply must stay "ok", why it did less than asked).
// The layer that knows the reason notes it on its own thread; the command loop takes it after
// the operation and writes one line with the sentence and the reason. A later note replaces an
// earlier one only when that one is empty, so the first, most precise reason wins.
void noteFailure(const std::string& reason);
// The reason noted on this thread since the last take, and forgets it; empty when none.
std::string takeFailureReason();
// Writes a failure line to the engine log and to standard error. A flood of like lines reaches
// standard error as a few a minute and a count (see RepeatFilter); the engine log bounds itself.
void logFailure(const std::string& line);
// Writes to standard error the counts of floods of failure lines that have ended.
void flushRepeatedFailures();

} // namespace VelOS
