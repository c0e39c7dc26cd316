// Feeds arbitrary bytes to the sentence parser, its matching and value readers, and to the line
// framing of the receive buffer, in pieces of arbitrary size. Checks that framing loses and
// invents no byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/ReceiveBuffer.h"
#include "net/Replies.h"
#include "net/Sentence.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void exerciseSentence(const std::string& line) {
    static const char* const signatures[] = {"",    "s",    "l",    "sl",    "ss", "sf",  "sss",
                                             "ssl", "ssss", "sfff", "sffff", "f",  "lfsx"};
    VelNet::Sentence sentence;
    if (!sentence.parse(line)) {
        return;
    }
    check(sentence.arguments().size() <= line.size());
    for (const char* signature : signatures) {
        sentence.matches(sentence.name(), signature);
    }
    for (std::size_t index = 0; index <= sentence.arguments().size(); ++index) {
        const std::string text = sentence.textArgument(index);
        check(text.find('\\') == std::string::npos);
        VelNet::tripleReply(true, sentence.doubleArgument(index),
                            static_cast<double>(sentence.longArgument(index)), 0);
        VelNet::quotedTextReply(index % 2 == 0, text);
    }
}

void exerciseFraming(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    // The first byte chooses the piece sizes, the rest is the stream.
    const unsigned seed = data[0];
    const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    VelNet::ReceiveBuffer buffer;
    std::string rebuilt;
    std::string line;
    char bytes[7];
    std::size_t at = 0;
    unsigned turn = seed;
    while (at < stream.size()) {
        const std::size_t piece = std::min<std::size_t>(1 + turn % 13, stream.size() - at);
        buffer.append(stream.data() + at, piece);
        at += piece;
        turn = turn * 1103515245u + 12345u;
        if (turn & 0x100u) {
            const std::size_t count = buffer.takeBytes(bytes, 1 + (turn >> 9) % sizeof bytes);
            rebuilt.append(bytes, count);
        }
        while (buffer.takeLine(line) == VelNet::ReceiveBuffer::LineResult::Line) {
            rebuilt += line;
            rebuilt += "\r\n";
        }
    }
    const std::size_t rest = buffer.size();
    std::string tail(rest, '\0');
    check(buffer.takeBytes(&tail[0], rest) == rest);
    rebuilt += tail;
    check(rebuilt == stream);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    exerciseSentence(std::string(reinterpret_cast<const char*>(data), size));
    exerciseFraming(data, size);
    return 0;
}
