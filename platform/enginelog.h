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
// Writes a failure line to the engine log and to standard error. A flood of like lines reaches
// standard error as a few a minute and a count (see RepeatFilter); the engine log bounds itself.
void logFailure(const std::string& line);
// Writes to standard error the counts of floods of failure lines that have ended.
void flushRepeatedFailures();

} // namespace VelOS
