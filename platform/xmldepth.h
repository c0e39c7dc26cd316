#pragma once

#include <string>

// The XML library parses recursively, one stack frame per level of nesting: a text nested tens
// of thousands of levels deep overflows the stack. Every XML text from outside (scene files of
// packages and of scene actors, the project document) is measured first, without recursion.
namespace VelOS {

// The one nesting limit for XML from outside. Scene files nest about seven levels, the project
// document four.
constexpr int MaximumXmlDepth = 256;

// True when no element of the text opens deeper than the limit. Counts generously (a "<" in a
// comment or an attribute counts too), which only ever refuses more.
bool xmlDepthWithin(const std::string& text, int limit = MaximumXmlDepth);

} // namespace VelOS
