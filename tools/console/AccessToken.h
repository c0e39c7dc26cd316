#pragma once

// The console's access token: every HTTP request and WebSocket handshake must carry it, in the
// query ("?token=...") or in the cookie the console sets when the page is first opened with it.
// Made at start from the system's random source, or read from a file so that a launcher or a
// test knows it in advance. Read-only after start: any thread may check it.

#include <string>

namespace VelConsole {

class AccessToken {
public:
    // A new random token: 32 hexadecimal digits (128 bits). False when the system has no
    // random source.
    bool generate();
    // The first line of a file, blanks around it removed. False with error set when the file
    // cannot be read or the token is shorter than 16 characters or holds characters other than
    // letters, digits, "-", "_", "." and "~" (it must travel in a URL unchanged).
    bool readFrom(const std::string& path, std::string& error);

    // Compares in time independent of where the texts differ.
    bool matches(const std::string& offered) const;

    // The token a request carries: its query's "token" parameter, else the named cookie.
    static std::string offeredBy(const std::string& target, const std::string& cookieHeader,
                                 const std::string& cookieName);

    const std::string& text() const { return text_; }

private:
    std::string text_;
};

} // namespace VelConsole
