#pragma once

#include <string>

namespace VelOS {

// Quotes a text for an event sentence or a list reply: a backslash before every double
// quote, nothing else changed (a quote that already follows a backslash is escaped again).
std::string escapeQuotes(const std::string& text);

} // namespace VelOS
