#pragma once

#include <string>

// The reply lines of the command loop, one formatter per shape, each line ending in CR LF.
// Numbers are written as a default output stream writes them (6 significant digits).
namespace VelNet {

// "ok" or "fail".
std::string okReply(bool success);
// "true" or "false"; there is no failure form.
std::string truthReply(bool value);
// The text between double quotes (quotes inside it are not escaped), or "fail " and the text.
std::string quotedTextReply(bool success, const std::string& text);
// The text as it is, or "fail " and the text.
std::string plainTextReply(bool success, const std::string& text);
// The value in decimal, or "fail".
std::string integerReply(bool success, long value);
// "(x, y, z)", or "fail".
std::string tripleReply(bool success, double x, double y, double z);
// "(a, b, c, d)", or "fail".
std::string quadrupleReply(bool success, double a, double b, double c, double d);
// "fail " and the reason ("parser error", "invalid sentence").
std::string errorReply(const std::string& reason);

} // namespace VelNet
