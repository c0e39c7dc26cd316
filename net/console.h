#pragma once

#include <string>

namespace VelNet {

// Bookkeeping and failure lines from any thread. Each text goes out with one stdio call and is
// flushed at once, so lines of different threads never interleave and nothing waits in a buffer.
// The caller supplies the line end.
void writeToStandardOutput(const std::string& text);
void writeToStandardError(const std::string& text);

} // namespace VelNet
