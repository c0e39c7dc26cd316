#include "tools/ctl/ctlprotocol.h"

namespace VelCtl {

namespace {

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

} // namespace

bool quoteArgument(const std::string& text, std::string& quoted) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '\r' || c == '\n' || c == '\0') {
            return false;
        }
        if (c == '"') {
            result += '\\';
        }
        result += c;
    }
    result += '"';
    quoted = result;
    return true;
}

bool uploadSentence(const std::string& name, long long size, std::string& sentence) {
    std::string quoted;
    if (!quoteArgument(name, quoted)) {
        return false;
    }
    sentence = "uploadFile(" + quoted + ", " + std::to_string(size) + ");" + LineEnd;
    return true;
}

bool downloadSentence(const std::string& name, std::string& sentence) {
    std::string quoted;
    if (!quoteArgument(name, quoted)) {
        return false;
    }
    sentence = "downloadFile(" + quoted + ");" + LineEnd;
    return true;
}

std::string storedName(const std::string& name) {
    const std::string::size_type slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool isStorableName(const std::string& name) {
    const std::string stored = storedName(name);
    std::string quoted;
    return !stored.empty() && stored != "." && stored != ".." && quoteArgument(name, quoted);
}

bool isFailureReply(const std::string& reply) {
    return reply == "fail" || reply.compare(0, 5, "fail ") == 0;
}

bool isSilentLine(const std::string& line) {
    return line.empty() || line[0] == '#';
}

std::string sentenceName(const std::string& line) {
    std::string::size_type at = 0;
    while (at < line.size() && !isNameCharacter(line[at])) {
        ++at;
    }
    const std::string::size_type start = at;
    while (at < line.size() && isNameCharacter(line[at])) {
        ++at;
    }
    return line.substr(start, at - start);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(withoutCarriageReturn(text.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

std::string withoutCarriageReturn(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace VelCtl
