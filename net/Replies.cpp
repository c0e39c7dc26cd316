#include "net/Replies.h"

#include <initializer_list>
#include <locale>
#include <sstream>

#include "net/NetTexts.h"

namespace VelNet {

namespace {

std::string line(const std::string& text) {
    return text + NetTexts::ReplyEnd;
}

std::string failLine(const std::string& text) {
    return line(NetTexts::FailPrefix + text);
}

std::string tuple(bool success, std::initializer_list<double> values) {
    if (!success) {
        return line(NetTexts::Fail);
    }
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    const char* separator = "(";
    for (double value : values) {
        stream << separator << value;
        separator = ", ";
    }
    stream << ")";
    return line(stream.str());
}

} // namespace

std::string okReply(bool success) {
    return line(success ? NetTexts::Ok : NetTexts::Fail);
}

std::string truthReply(bool value) {
    return line(value ? NetTexts::True : NetTexts::False);
}

std::string quotedTextReply(bool success, const std::string& text) {
    return success ? line("\"" + text + "\"") : failLine(text);
}

std::string plainTextReply(bool success, const std::string& text) {
    return success ? line(text) : failLine(text);
}

std::string integerReply(bool success, long value) {
    return success ? line(std::to_string(value)) : line(NetTexts::Fail);
}

std::string tripleReply(bool success, double x, double y, double z) {
    return tuple(success, {x, y, z});
}

std::string quadrupleReply(bool success, double a, double b, double c, double d) {
    return tuple(success, {a, b, c, d});
}

std::string errorReply(const std::string& reason) {
    return failLine(reason);
}

} // namespace VelNet
