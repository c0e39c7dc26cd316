// The handshake of the player's connections over real sockets: the four connection modes, and
// the file transfers into and out of a scratch work directory.
#include "NetTestSupport.h"
#include "net/RemoteServices.h"
#include "net/SentenceHandler.h"
#include "net/Server.h"
#include "platform/enginelog.h"
#include "project/ListenerChannel.h"
#include "support/RecordingOperations.h"
#include "support/ScratchDirectory.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <thread>

using nettest::Client;
using nettest::eventually;

namespace {

// Work directory, listener registry and a broadcast, as the Scene offers them.
class FakeServices : public RemoteServices {
public:
    explicit FakeServices(std::string workDirectory) : workDirectory_(std::move(workDirectory)) {}
    const std::string& getWorkDirectory() override { return workDirectory_; }
    void addListener(ListenerChannel* listener) override {
        std::lock_guard<std::mutex> hold(guard_);
        listeners_.insert(listener);
    }
    void removeListener(ListenerChannel* listener) override {
        std::lock_guard<std::mutex> hold(guard_);
        listeners_.erase(listener);
    }
    size_t listenerCount() {
        std::lock_guard<std::mutex> hold(guard_);
        return listeners_.size();
    }
    void broadcast(const std::string& line) {
        std::lock_guard<std::mutex> hold(guard_);
        for (ListenerChannel* listener : listeners_) {
            listener->sendLine(line);
        }
    }

private:
    std::string workDirectory_;
    std::mutex guard_; // guards listeners_
    std::set<ListenerChannel*> listeners_;
};

// Keeps the engine log lines written during a test.
class LogCapture {
public:
    LogCapture() {
        VelOS::setEngineLogSink([this](const std::string& line) {
            std::lock_guard<std::mutex> hold(guard_);
            lines_.push_back(line);
        });
    }
    ~LogCapture() { VelOS::setEngineLogSink(nullptr); }
    bool has(const std::string& line) {
        for (int attempt = 0; attempt < 500; ++attempt) {
            {
                std::lock_guard<std::mutex> hold(guard_);
                if (std::find(lines_.begin(), lines_.end(), line) != lines_.end()) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    std::mutex guard_;
    std::vector<std::string> lines_;
};

class Handshake : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server->start(0, factory)); }
    void TearDown() override {
        server.reset(); // closes what is left; the threads then let go of their handlers
        EXPECT_TRUE(factory.waitForHandlers(5000));
    }
    // Reads everything the player sends until it closes the connection.
    static std::string readToEnd(Client& client) {
        std::string bytes;
        char chunk[4096];
        for (;;) {
            const ssize_t got = ::recv(client.handle(), chunk, sizeof chunk, 0);
            if (got <= 0) {
                return bytes;
            }
            bytes.append(chunk, static_cast<size_t>(got));
        }
    }

    ScratchDirectory scratch;
    FakeServices services{scratch.path()};
    RecordingOperations operations;
    SentenceHandlerFactory factory{services, operations};
    std::unique_ptr<VelNet::Server> server = std::make_unique<VelNet::Server>();
    LogCapture log;
};

} // namespace

TEST_F(Handshake, CommandConnectionRunsTheCommandLoop) {
    Client client(server->port());
    client.send("command();\r\n");
    EXPECT_EQ(client.line(), "ok");
    client.send("project.debug.isVisible();\r\nproject.title.set(\"show\");\r\nquit();\r\n");
    EXPECT_EQ(client.line(), "true\r");
    EXPECT_EQ(client.line(), "ok\r");
    EXPECT_EQ(client.line(), "ok\r");
    EXPECT_TRUE(client.closedByServer());
    EXPECT_EQ(operations.calls(), (std::vector<std::string>{"debugIsVisible()", "setTitle(show)"}));
}

TEST_F(Handshake, UnknownAndMalformedFirstSentencesCloseTheConnection) {
    Client unknown(server->port());
    unknown.send("project.new();\r\n");
    EXPECT_EQ(unknown.line(), "invalid sentence");
    EXPECT_TRUE(unknown.closedByServer());

    Client malformed(server->port());
    malformed.send("(((\r\n");
    EXPECT_EQ(malformed.line(), "parser error");
    EXPECT_TRUE(malformed.closedByServer());

    Client comment(server->port());
    comment.send("# hello\r\n");
    EXPECT_TRUE(comment.closedByServer());
    EXPECT_TRUE(operations.calls().empty());
}

TEST_F(Handshake, ListenerReceivesEventsUntilItQuits) {
    Client listener(server->port());
    listener.send("listener();\r\n");
    EXPECT_EQ(listener.line(), "ok");
    for (int attempt = 0; attempt < 500 && services.listenerCount() == 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(services.listenerCount(), 1u);
    services.broadcast("project.debug.showed();\n");
    EXPECT_EQ(listener.line(), "project.debug.showed();");
    listener.send("anything();\r\nquit();\r\n");
    EXPECT_TRUE(listener.closedByServer());
    EXPECT_EQ(services.listenerCount(), 0u);
}

TEST_F(Handshake, UploadStoresTheBytesThatFollowTheSentence) {
    std::string content(5000, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7);
    }
    Client client(server->port());
    // The sentence and the first bytes in one segment, the rest later.
    client.send("uploadFile(\"some/dir/pack.zip\", 5000);\r\n" + content.substr(0, 700));
    client.send(content.substr(700));
    EXPECT_TRUE(client.closedByServer());
    EXPECT_EQ(readWholeFile(scratch.path() + "pack.zip"), content);
    EXPECT_TRUE(log.has("SceneParser::uploadFile: pack.zip size: 5000"));

    Client empty(server->port());
    empty.send("uploadFile(\"empty.patt\", 0);\r\n");
    EXPECT_TRUE(empty.closedByServer());
    EXPECT_TRUE(pathExists(scratch.path() + "empty.patt"));
    EXPECT_EQ(readWholeFile(scratch.path() + "empty.patt"), "");
}

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* folder = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            names.emplace_back(entry->d_name);
        }
        closedir(folder);
    }
    return names;
}

// A file is replaced only by a whole upload: one cut off half-way leaves the old file as it was,
// and many uploads of one name at once leave exactly one of them, whole.
TEST_F(Handshake, AnUploadReplacesItsFileWholeOrNotAtAll) {
    scratch.write("show.zip", "the old archive");
    {
        Client client(server->port());
        client.send("uploadFile(\"show.zip\", 100000);\r\n" + std::string(30000, 'n'));
        client.close();
    }
    EXPECT_TRUE(log.has("uploadFile(\"show.zip\", 100000): the connection ended before the announced size "
                        "arrived: the file is left as it was"));
    EXPECT_EQ(readWholeFile(scratch.path() + "show.zip"), "the old archive");

    std::vector<std::thread> uploads;
    for (int i = 0; i < 40; ++i) {
        uploads.emplace_back([this, i] {
            const std::string content(64 * 1024, static_cast<char>('A' + i % 26));
            Client client(server->port());
            for (std::size_t at = 0; at < content.size(); at += 4096) {
                client.send(at == 0 ? "uploadFile(\"show.zip\", " + std::to_string(content.size()) +
                                          ");\r\n" + content.substr(0, 4096)
                                    : content.substr(at, 4096));
            }
            client.closedByServer();
        });
    }
    for (std::thread& upload : uploads) {
        upload.join();
    }
    const std::string result = readWholeFile(scratch.path() + "show.zip");
    ASSERT_EQ(result.size(), 64u * 1024);
    EXPECT_EQ(result.find_first_not_of(result[0]), std::string::npos) << "a mix of two uploads";
    // No temporary file is left behind.
    for (const std::string& name : namesIn(scratch.path())) {
        EXPECT_EQ(name.find(".part-"), std::string::npos) << name;
    }
}

TEST_F(Handshake, UploadNeverWritesOutsideTheWorkDirectory) {
    ASSERT_EQ(mkdir((scratch.path() + "work").c_str(), 0700), 0);
    FakeServices inner(scratch.path() + "work/");
    SentenceHandlerFactory innerFactory(inner, operations);
    auto innerServer = std::make_unique<VelNet::Server>();
    ASSERT_TRUE(innerServer->start(0, innerFactory));
    for (const std::string name : {"..", "a/..", "."}) {
        Client client(innerServer->port());
        client.send("uploadFile(\"" + name + "\", 3);\r\nabc");
        EXPECT_TRUE(client.closedByServer()) << name;
    }
    innerServer.reset();
    EXPECT_TRUE(innerFactory.waitForHandlers(5000));
    // Nothing but the work directory itself exists beside the scratch files.
    EXPECT_FALSE(pathExists(scratch.path() + "abc"));
    struct stat info {};
    ASSERT_EQ(stat((scratch.path() + "work").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(Handshake, DownloadSendsTheFileThenCloses) {
    const std::string content = std::string(2500, 'x') + "end";
    scratch.write("talk.pdf", content);
    Client client(server->port());
    client.send("downloadFile(\"talk.pdf\");\r\n");
    EXPECT_EQ(readToEnd(client), content);
    EXPECT_TRUE(log.has("SceneParser::downloadFile: talk.pdf size: 2503"));

    Client missing(server->port());
    missing.send("downloadFile(\"missing.pdf\");\r\n");
    EXPECT_EQ(readToEnd(missing), "");
    EXPECT_TRUE(log.has("SceneParser::downloadFile: missing.pdf size: 0"));

    Client outside(server->port());
    outside.send("downloadFile(\"../../../../../../etc/passwd\");\r\n");
    EXPECT_EQ(readToEnd(outside), "");
}
