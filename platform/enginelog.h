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
// A failure the presenter should see: the line goes to the engine's log and to standard error.
void logFailure(const std::string& line);

} // namespace VelOS
