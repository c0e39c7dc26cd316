#include "resources/OgreMaterialStreamDecorator.h"

#include <OGRE/OgreLogManager.h>

#include <utility>

namespace {

constexpr const char* TextureWithoutName = "OgreMaterialStreamDecorator: texture without valid name";

void log(const std::string& line) {
    if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr()) {
        logs->logMessage(line, Ogre::LML_NORMAL);
    }
}

// Splits text at the first space or tab found at or after from: the part before it, and what
// follows that one character (empty when there is no such character).
std::pair<std::string, std::string> splitAtBlank(const std::string& text, std::string::size_type from) {
    const std::string::size_type blank = text.find_first_of(" \t", from);
    if (blank == std::string::npos) {
        return {text, std::string()};
    }
    return {text.substr(0, blank), text.substr(blank + 1)};
}

} // namespace

OgreMaterialStreamDecorator::OgreMaterialStreamDecorator(Ogre::DataStreamPtr wrapped, std::string prefix)
    : Ogre::DataStream(Ogre::DataStream::READ), wrapped_(std::move(wrapped)), prefix_(std::move(prefix)) {
    mSize = wrapped_ ? wrapped_->size() : 0;
}

Ogre::String OgreMaterialStreamDecorator::getLine(bool trimAfter) {
    return rewrite(wrapped_->getLine(trimAfter));
}

std::string OgreMaterialStreamDecorator::rewrite(const std::string& line) {
    const std::string::size_type start = line.find_first_not_of(' ');
    if (start == std::string::npos) {
        return line; // empty, or spaces only
    }
    const std::string text = line.substr(start);
    const std::string::size_type space = text.find(' ');
    if (space == std::string::npos) {
        return text;
    }
    const std::string keyword = text.substr(0, space);
    const std::string::size_type restStart = text.find_first_not_of(' ', space);
    const std::string rest = restStart == std::string::npos ? std::string() : text.substr(restStart);

    if (keyword == "material") {
        const std::string renamed = freshName(rest);
        materialNames_[rest] = renamed;
        return keyword + " " + renamed;
    }
    if (keyword == "texture") {
        const std::string::size_type dot = rest.find('.');
        if (dot == std::string::npos) {
            log(TextureWithoutName);
            return text;
        }
        const auto [texture, tail] = splitAtBlank(rest, dot);
        return keyword + " " + referencedFileName(texture) + " " + tail;
    }
    if (keyword == "vertex_program" || keyword == "fragment_program") {
        // A declaration: a name, then the language and whatever follows. Only the name is
        // renamed, so that the declaration still parses and the renamed references of the
        // "_ref" lines find it.
        const auto [program, tail] = splitAtBlank(rest, 0);
        const std::string renamed = keyword + " " + referencedFileName(program);
        return tail.empty() ? renamed : renamed + " " + tail;
    }
    if (keyword == "source" || keyword == "vertex_program_ref" || keyword == "fragment_program_ref") {
        return keyword + " " + referencedFileName(rest);
    }
    return text;
}

std::string OgreMaterialStreamDecorator::freshName(const std::string& text) const {
    for (unsigned long k = 0;; ++k) {
        std::string candidate = prefix_ + (k > 0 ? std::to_string(k) + "_" : std::string()) + text;
        for (char& c : candidate) {
            if (c == ' ') {
                c = '_';
            }
        }
        if (usedFileNames_.count(candidate) == 0) {
            return candidate;
        }
    }
}

std::string OgreMaterialStreamDecorator::referencedFileName(const std::string& source) {
    const auto known = referencedFiles_.find(source);
    if (known != referencedFiles_.end()) {
        return known->second;
    }
    std::string renamed = freshName(source);
    referencedFiles_.emplace(source, renamed);
    usedFileNames_.insert(renamed);
    return renamed;
}

size_t OgreMaterialStreamDecorator::read(void* buffer, size_t count) {
    return wrapped_->read(buffer, count);
}

size_t OgreMaterialStreamDecorator::readLine(char* buffer, size_t maxCount, const Ogre::String& delimiter) {
    return wrapped_->readLine(buffer, maxCount, delimiter);
}

Ogre::String OgreMaterialStreamDecorator::getAsString() {
    return wrapped_->getAsString();
}

size_t OgreMaterialStreamDecorator::skipLine(const Ogre::String& delimiter) {
    return wrapped_->skipLine(delimiter);
}

void OgreMaterialStreamDecorator::skip(long count) {
    wrapped_->skip(count);
}

void OgreMaterialStreamDecorator::seek(size_t position) {
    wrapped_->seek(position);
}

size_t OgreMaterialStreamDecorator::tell() const {
    return wrapped_->tell();
}

bool OgreMaterialStreamDecorator::eof() const {
    return wrapped_->eof();
}

void OgreMaterialStreamDecorator::close() {
    wrapped_->close();
}
