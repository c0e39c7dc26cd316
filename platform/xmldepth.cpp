#include "platform/xmldepth.h"

namespace VelOS {

bool xmlDepthWithin(const std::string& text, int limit) {
    int depth = 0;
    for (std::string::size_type i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '<') {
            const char next = text[i + 1];
            if (next == '/') {
                --depth;
            } else if (next != '?' && next != '!' && ++depth > limit) {
                return false;
            }
        } else if (text[i] == '/' && text[i + 1] == '>') {
            --depth;
        }
    }
    return true;
}

} // namespace VelOS
