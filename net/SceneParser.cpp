#include "net/SceneParser.h"

#include "net/ByteChannel.h"
#include "net/CommandTable.h"
#include "net/LineChannel.h"
#include "net/NetTexts.h"
#include "net/RemoteServices.h"
#include "net/Replies.h"
#include "net/Sentence.h"
#include "platform/CommandContext.h"
#include "platform/DiskBudget.h"
#include "platform/atomicfile.h"
#include "platform/enginelog.h"
#include "platform/pathguard.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr long ChunkSize = 1024;
// Replies held for a batch of commands are written once they reach this size, batch or not.
constexpr std::size_t MaximumHeldReplies = 16 * 1024;

const CommandRow* findRow(const VelNet::Sentence& sentence) {
    for (const CommandRow& row : commandTable()) {
        if (sentence.matches(row.name, row.signature)) {
            return &row;
        }
    }
    return nullptr;
}

// One line for a sentence that failed or did less than asked: the sentence as received (the
// operation and its arguments) and why.
void logFailure(std::string line, const std::string& reason) {
    while (!line.empty() &&
           (line.back() == '\r' || line.back() == '\n' || line.back() == ';' || line.back() == ' ')) {
        line.pop_back();
    }
    VelOS::logFailure(line + ": " + reason);
}

} // namespace

void SceneParser::dispatch(ProjectOperations& operations, LineChannel& channel) {
    VelNet::Sentence sentence;
    std::string line;
    // One context for the connection's commands in turn; whatever events it holds back go out
    // before the loop waits for a client, and at the end (its destruction).
    VelOS::CommandContext context;
    // The replies to commands that arrived together go out together, in one write, after the
    // batch's events: a client that sends many commands at once is not answered with a write per
    // command. What runs after a reply (waking the main loop) waits for that write.
    std::string replies;
    const auto writeReplies = [&] {
        if (!replies.empty()) {
            channel.writeLine(replies);
            replies.clear();
            context.replyWritten();
        }
    };
    const auto reply = [&](const std::string& text) {
        replies += text;
        if (!channel.hasWaitingLine() || replies.size() >= MaximumHeldReplies) {
            writeReplies();
        }
    };
    while (channel.isOpen()) {
        if (!channel.hasWaitingLine()) {
            context.endBatch();
            writeReplies();
        }
        if (!channel.readLine(line)) {
            writeReplies();
            std::cout << NetTexts::NextLineError << NetTexts::ReplyEnd << std::flush;
            return;
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (!sentence.parse(line)) {
            logFailure(line, NetTexts::ParserError);
            reply(VelNet::errorReply(NetTexts::ParserError));
            continue;
        }
        const CommandRow* row = findRow(sentence);
        if (row == nullptr) {
            logFailure(line, NetTexts::InvalidSentence);
            reply(VelNet::errorReply(NetTexts::InvalidSentence));
            continue;
        }
        context.takeFailure();
        context.setCommandsWaiting(channel.hasWaitingLine());
        context.commandStarted();
        const std::string answer = row->run(operations, context, sentence);
        std::string reason = context.takeFailure();
        if (reason.empty() && answer.compare(0, 4, NetTexts::Fail) == 0) {
            reason = NetTexts::FailedReason;
        }
        if (!reason.empty()) {
            logFailure(line, reason);
        }
        if (row->name == NetTexts::Quit) {
            replies += answer;
            writeReplies();
            return;
        }
        reply(answer);
    }
    writeReplies();
}

void SceneParser::uploadFile(RemoteServices& services, ByteChannel& channel, const std::string& name,
                             long size) {
    const std::string::size_type slash = name.rfind('/');
    const std::string stored = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string operation =
        std::string(NetTexts::UploadMode) + "(\"" + name + "\", " + std::to_string(size) + ")";
    // The bytes go to a file of their own beside the target, which replaces the target only
    // once every announced byte has arrived: a dropped connection leaves the old file, and
    // uploads of one name at once leave one of them whole.
    std::string path;
    std::string temporary;
    std::string reason;
    VelOS::DiskBudget::Reservation room;
    std::FILE* file = nullptr;
    if (!VelOS::resolveInside(services.getWorkDirectory(), stored, path)) {
        logFailure(operation, NetTexts::UploadRefused);
    } else if (!room.take(size > 0 ? static_cast<std::uint64_t>(size) : 0, reason)) {
        logFailure(operation, NetTexts::UploadNoRoom + reason);
    } else if (!VelOS::createTemporaryBeside(path, temporary) ||
               (file = std::fopen(temporary.c_str(), "wb")) == nullptr) {
        logFailure(operation, NetTexts::UploadCannotWrite + std::string(std::strerror(errno)));
        if (!temporary.empty()) {
            std::remove(temporary.c_str());
        }
    }
    VelOS::engineLog(std::string(NetTexts::UploadLog) + stored + NetTexts::SizeLog + std::to_string(size));
    bool whole = true;
    bool written = true;
    if (size != 0) {
        char chunk[ChunkSize];
        do {
            const long got = channel.readBytes(chunk, ChunkSize);
            if (got < 1) {
                whole = false;
                break;
            }
            if (file != nullptr &&
                std::fwrite(chunk, 1, static_cast<size_t>(got), file) != static_cast<size_t>(got)) {
                written = false;
            }
            size -= got;
        } while (size > 0);
    }
    if (file == nullptr) {
        return;
    }
    written = std::fclose(file) == 0 && written;
    if (!whole || !written) {
        std::remove(temporary.c_str());
        logFailure(operation, whole ? NetTexts::UploadCannotWrite + std::string(std::strerror(errno))
                                    : std::string(NetTexts::UploadCut));
        return;
    }
    if (!VelOS::replaceWith(temporary, path)) {
        logFailure(operation, NetTexts::UploadCannotWrite + std::string(std::strerror(errno)));
    }
}

void SceneParser::downloadFile(RemoteServices& services, ByteChannel& channel, const std::string& name) {
    std::string path;
    std::FILE* file = nullptr;
    const std::string operation = std::string(NetTexts::DownloadMode) + "(\"" + name + "\")";
    if (!VelOS::resolveInside(services.getWorkDirectory(), name, path)) {
        logFailure(operation, NetTexts::UploadRefused);
    } else if ((file = std::fopen(path.c_str(), "rb")) == nullptr) {
        logFailure(operation, NetTexts::CannotRead + std::string(std::strerror(errno)));
    }
    long total = 0;
    if (file != nullptr) {
        char chunk[ChunkSize];
        do {
            const size_t got = std::fread(chunk, 1, ChunkSize, file);
            if (got < 1) {
                break;
            }
            channel.writeBytes(chunk, static_cast<long>(got));
            total += static_cast<long>(got);
        } while (!std::feof(file) && !std::ferror(file));
        std::fclose(file);
    }
    VelOS::engineLog(std::string(NetTexts::DownloadLog) + name + NetTexts::SizeLog + std::to_string(total));
}
