#pragma once

// Every text the marker library prints, in one place. Clients and scripts read these lines on
// the player's standard output, so they stay byte for byte as they are.
namespace Ostrevan {
namespace Texts {

// loadPattern: the file cannot be opened (printf format, one %s for the file name).
constexpr const char* patternNotFound = "\"%s\" not found!!\n";
// loadPattern: the file ends early or holds something that is not a pattern value.
constexpr const char* patternReadError = "Pattern Data read error!!\n";
// traceContour: no start pixel, a lone pixel, a contour too long to store.
constexpr const char* contourNoStart = "??? 1\n";
constexpr const char* contourIsolated = "??? 2\n";
constexpr const char* contourTooLong = "??? 3\n";

} // namespace Texts
} // namespace Ostrevan
