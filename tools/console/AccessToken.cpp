#include "tools/console/AccessToken.h"

#include <fstream>
#include <random>

namespace VelConsole {

namespace {

bool isTokenCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

// The value of one "key=value" among separators (the query's "&", the cookie header's ";").
std::string valueOf(const std::string& text, const std::string& key, char separator) {
    std::string::size_type at = 0;
    while (at <= text.size()) {
        std::string::size_type end = text.find(separator, at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string pair = text.substr(at, end - at);
        const std::string::size_type first = pair.find_first_not_of(' ');
        pair = first == std::string::npos ? std::string() : pair.substr(first);
        if (pair.compare(0, key.size() + 1, key + "=") == 0) {
            return pair.substr(key.size() + 1);
        }
        at = end + 1;
    }
    return std::string();
}

} // namespace

bool AccessToken::generate() {
    try {
        std::random_device source;
        static const char digits[] = "0123456789abcdef";
        std::string made;
        for (int word = 0; word < 4; ++word) {
            std::uint32_t bits = source();
            for (int nibble = 0; nibble < 8; ++nibble) {
                made += digits[bits & 15];
                bits >>= 4;
            }
        }
        text_ = made;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool AccessToken::readFrom(const std::string& path, std::string& error) {
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line)) {
        error = "cannot read the token file " + path;
        return false;
    }
    const std::string::size_type first = line.find_first_not_of(" \t\r");
    const std::string::size_type last = line.find_last_not_of(" \t\r");
    line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
    if (line.size() < 16) {
        error = "the token in " + path + " is shorter than 16 characters";
        return false;
    }
    for (const char c : line) {
        if (!isTokenCharacter(c)) {
            error = "the token in " + path + " may hold only letters, digits, '-', '_', '.' and '~'";
            return false;
        }
    }
    text_ = line;
    return true;
}

bool AccessToken::matches(const std::string& offered) const {
    if (text_.empty() || offered.size() != text_.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t index = 0; index < text_.size(); ++index) {
        difference |= static_cast<unsigned char>(offered[index] ^ text_[index]);
    }
    return difference == 0;
}

std::string AccessToken::offeredBy(const std::string& target, const std::string& cookieHeader,
                                   const std::string& cookieName) {
    const std::string::size_type question = target.find('?');
    if (question != std::string::npos) {
        std::string query = target.substr(question + 1);
        const std::string::size_type hash = query.find('#');
        if (hash != std::string::npos) {
            query.resize(hash);
        }
        const std::string fromQuery = valueOf(query, "token", '&');
        if (!fromQuery.empty()) {
            return fromQuery;
        }
    }
    return valueOf(cookieHeader, cookieName, ';');
}

} // namespace VelConsole
