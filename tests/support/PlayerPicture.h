#pragma once

// What the picture tests read off the player's window: the box around the pixels of one kind,
// and the reply to a sentence whose work (a camera's set-up) may take a while.
#include "net/NetTestSupport.h"
#include "support/XTestDisplay.h"

#include <algorithm>
#include <functional>
#include <string>

struct Box {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
    void add(int x, int y) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    bool empty() const { return right < 0; }
    double middleX() const { return (left + right) / 2.0; }
    double middleY() const { return (top + bottom) / 2.0; }
};

// The box of the picture's pixels for which inside() holds, looked for in the columns
// [x0, x1) and rows [y0, y1) (the whole picture when x1 or y1 is below 0).
inline Box boxOf(const RgbImage& picture, const std::function<bool(const unsigned char*)>& inside, int x0 = 0,
                 int y0 = 0, int x1 = -1, int y1 = -1) {
    Box box;
    x1 = x1 < 0 ? picture.width : std::min(x1, picture.width);
    y1 = y1 < 0 ? picture.height : std::min(y1, picture.height);
    for (int y = std::max(0, y0); y < y1; ++y) {
        for (int x = std::max(0, x0); x < x1; ++x) {
            if (inside(picture.at(x, y))) {
                box.add(x, y);
            }
        }
    }
    return box;
}

// The reply to one sentence, without its line end.
inline std::string reply(nettest::Client& command, const std::string& sentence) {
    command.send(sentence + "\r\n");
    std::string line = command.line();
    for (int attempt = 0; attempt < 6 && line == "<none>"; ++attempt) {
        line = command.line();
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}
