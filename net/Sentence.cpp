#include "net/Sentence.h"

#include <limits>
#include <locale>
#include <sstream>

namespace VelNet {

namespace {

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

// Whether a bare argument read so far is a number up to its exponent mark: "1e", "-2.5E".
bool isExponentMark(const std::string& text) {
    if (text.size() < 2 || (text.back() != 'e' && text.back() != 'E')) {
        return false;
    }
    bool digit = false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (!(c == '.' || (c == '-' && i == 0))) {
            return false;
        }
    }
    return digit;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Standard stream extraction of a number from the start of a text: leading white space skipped,
// trailing characters ignored, whatever locale the process has set. One reused stream per thread.
template <typename Number> bool extract(const std::string& text, Number& value) {
    thread_local std::istringstream stream = [] {
        std::istringstream made;
        made.imbue(std::locale::classic());
        return made;
    }();
    stream.clear();
    stream.str(text);
    return static_cast<bool>(stream >> value);
}

} // namespace

void Sentence::advance() {
    if (position_ == end_) {
        throw end_of_line();
    }
    previous_ = current_;
    ++position_;
    current_ = position_ == end_ ? '\0' : *position_;
}

void Sentence::skipBlanks() {
    while (isBlank(current_)) {
        advance();
    }
}

void Sentence::readArgument() {
    skipBlanks();
    std::string text;
    if (current_ == '"') {
        advance();
        for (;;) {
            while (current_ != '"') {
                text += current_;
                advance();
            }
            if (previous_ == '\\' && !text.empty() && text.back() == '\\') {
                // An escaped quote: it stays in the text and the text goes on.
                text.back() = '"';
                advance();
                continue;
            }
            advance();
            break;
        }
    } else {
        // A number's exponent may carry a plus sign ("1e+20", as the player writes numbers in its
        // own replies and events); a plus sign anywhere else ends a bare argument, as it always did.
        while (isNameCharacter(current_) || (current_ == '+' && isExponentMark(text))) {
            text += current_;
            advance();
        }
    }
    arguments_.push_back(std::move(text));
}

bool Sentence::parse(const std::string& line) {
    name_.clear();
    arguments_.clear();
    if (line.empty()) {
        return false;
    }
    position_ = line.data();
    end_ = line.data() + line.size();
    current_ = *position_;
    previous_ = '\0';
    try {
        // Leading junk before the name is ignored.
        while (!isNameCharacter(current_)) {
            advance();
        }
        skipBlanks();
        while (isNameCharacter(current_)) {
            name_ += current_;
            advance();
        }
        skipBlanks();
        advance(); // "("
        while (current_ != ')') {
            readArgument();
            while (current_ != ',' && current_ != ')') {
                advance();
            }
            if (current_ == ',') {
                advance();
            }
        }
        advance(); // ")"
        skipBlanks();
        advance(); // ";"
        // One stray character (a CR from a file written on Windows, a blank) may follow.
        return end_ - position_ <= 1;
    } catch (...) {
        return false;
    }
}

bool Sentence::matches(const std::string& name, const std::string& signature) const {
    if (name != name_ || signature.size() != arguments_.size()) {
        return false;
    }
    for (std::size_t index = 0; index < signature.size(); ++index) {
        switch (signature[index]) {
        case 's':
            break;
        case 'f': {
            double value;
            if (!extract(arguments_[index], value)) {
                return false;
            }
            break;
        }
        case 'l': {
            long value;
            if (!extract(arguments_[index], value)) {
                return false;
            }
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

std::string Sentence::textArgument(std::size_t index) const {
    if (index >= arguments_.size()) {
        return std::string();
    }
    std::string text;
    text.reserve(arguments_[index].size());
    for (char c : arguments_[index]) {
        if (c != '\\') {
            text += c;
        }
    }
    return text;
}

long Sentence::longArgument(std::size_t index) const {
    long value = 0;
    if (index < arguments_.size()) {
        extract(arguments_[index], value);
    }
    return value;
}

bool Sentence::intArgument(std::size_t index, int& value) const {
    long wide = 0;
    if (index >= arguments_.size() || !extract(arguments_[index], wide) ||
        wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) {
        return false;
    }
    value = static_cast<int>(wide);
    return true;
}

double Sentence::doubleArgument(std::size_t index) const {
    double value = 0.0;
    if (index < arguments_.size()) {
        extract(arguments_[index], value);
    }
    return value;
}

} // namespace VelNet
