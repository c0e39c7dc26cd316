#include "net/SentenceHandler.h"

#include "net/NetTexts.h"
#include "net/RemoteServices.h"
#include "net/SceneParser.h"
#include "net/Sentence.h"
#include "net/SocketChannel.h"

#include <chrono>
#include <iostream>

void SentenceHandler::LiveCount::add() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++count_;
}

void SentenceHandler::LiveCount::remove() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (--count_ == 0) {
        zero_.notify_all();
    }
}

bool SentenceHandler::LiveCount::waitForZero(int timeoutMilliseconds) {
    std::unique_lock<std::mutex> guard(mutex_);
    return zero_.wait_for(guard, std::chrono::milliseconds(timeoutMilliseconds),
                          [this] { return count_ == 0; });
}

SentenceHandler::SentenceHandler(RemoteServices& services, ProjectOperations& operations,
                                 std::shared_ptr<LiveCount> live)
    : services_(services), operations_(operations), live_(std::move(live)) {
    live_->add();
}

SentenceHandler::~SentenceHandler() {
    live_->remove();
}

void SentenceHandler::handle(VelOS::Socket& socket) {
    VelOS::SemaphoreLock hold(semaphore_);
    SocketChannel channel(socket);
    VelNet::Sentence sentence;
    std::string line;
    if (!channel.readLine(line)) {
        std::cout << NetTexts::NextLineError << std::endl;
        return;
    }
    // The handshake arrived in time; what follows (commands, a listener's silence, a transfer)
    // may take as long as it takes.
    socket.clearReceiveDeadline();
    if (line.empty() || line[0] == '#') {
        return;
    }
    if (!sentence.parse(line)) {
        channel.writeLine(std::string(NetTexts::ParserError) + NetTexts::HandshakeEnd);
        return;
    }
    if (sentence.matches(NetTexts::CommandMode, "")) {
        channel.writeLine(std::string(NetTexts::Ok) + NetTexts::HandshakeEnd);
        SceneParser::dispatch(operations_, channel);
    } else if (sentence.matches(NetTexts::ListenerMode, "")) {
        channel.writeLine(std::string(NetTexts::Ok) + NetTexts::HandshakeEnd);
        services_.addListener(&channel);
        channel.waitUntilLeaves();
        services_.removeListener(&channel);
    } else if (sentence.matches(NetTexts::UploadMode, "sl")) {
        SceneParser::uploadFile(services_, channel, sentence.textArgument(0), sentence.longArgument(1));
    } else if (sentence.matches(NetTexts::DownloadMode, "s")) {
        SceneParser::downloadFile(services_, channel, sentence.textArgument(0));
    } else {
        channel.writeLine(std::string(NetTexts::InvalidSentence) + NetTexts::HandshakeEnd);
    }
}

SentenceHandlerFactory::SentenceHandlerFactory(RemoteServices& services, ProjectOperations& operations)
    : services_(services), operations_(operations), live_(std::make_shared<SentenceHandler::LiveCount>()) {}

std::unique_ptr<ConnectionHandler> SentenceHandlerFactory::createHandler() {
    return std::make_unique<SentenceHandler>(services_, operations_, live_);
}

bool SentenceHandlerFactory::waitForHandlers(int timeoutMilliseconds) {
    return live_->waitForZero(timeoutMilliseconds);
}
