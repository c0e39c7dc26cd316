// The server and its connections over real sockets on 127.0.0.1. Every server listens on a port
// the OS picks, so these tests run beside any other test executable.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <vector>

#include "NetTestSupport.h"
#include "net/Server.h"
#include "net/SocketChannel.h"

namespace {

using namespace std::chrono_literals;
using nettest::Client;
using nettest::CountingFactory;
using nettest::eventually;
using nettest::OutputCapture;

// Ids drawn by the process so far are unknown to a test, so it reads them from the lines.
int idOfLine(const std::string& text, const std::string& prefix, int occurrence = 0) {
    std::size_t at = 0;
    for (int skipped = 0;; ++skipped) {
        at = text.find(prefix, at);
        if (at == std::string::npos) {
            return -1;
        }
        if (skipped == occurrence) {
            return std::atoi(text.c_str() + at + prefix.size());
        }
        at += prefix.size();
    }
}

std::string hashOf(const std::string& bytes) {
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return std::to_string(hash);
}

// A small line protocol for the tests, over the socket channel:
//   take N M   read N raw bytes in calls of at most M, answering "count:bytes" after each call
//   sum N      read N raw bytes in calls of 777 and answer "N:hash"
//   quit       end the connection
//   anything else is echoed as "line:" + line
void serveScript(VelOS::Socket& socket) {
    SocketChannel channel(socket);
    std::string line;
    while (channel.isOpen() && channel.readLine(line)) {
        std::istringstream words(line);
        std::string verb;
        long total = 0;
        long step = 0;
        words >> verb >> total >> step;
        step = step > 0 ? step : 777;
        if (verb == "quit") {
            return;
        }
        if (verb == "take" || verb == "sum") {
            std::string all;
            while (static_cast<long>(all.size()) < total) {
                std::vector<char> chunk(static_cast<std::size_t>(step));
                const long count =
                    channel.readBytes(chunk.data(), std::min(step, total - static_cast<long>(all.size())));
                if (count <= 0) {
                    return;
                }
                all.append(chunk.data(), static_cast<std::size_t>(count));
                if (verb == "take") {
                    channel.writeLine(std::to_string(count) + ":" + std::string(chunk.data(), count) +
                                      "\r\n");
                }
            }
            if (verb == "sum") {
                channel.writeLine(std::to_string(all.size()) + ":" + hashOf(all) + "\r\n");
            }
            continue;
        }
        channel.writeLine("line:" + line + "\r\n");
    }
}

class ServerTest : public ::testing::Test {
protected:
    void TearDown() override {
        server.reset();
        EXPECT_TRUE(factory.waitUntilAllReleased()) << "a connection thread never finished";
    }

    bool startServer() {
        server = std::make_unique<VelNet::Server>();
        return server->start(0, factory);
    }

    CountingFactory factory{serveScript};
    std::unique_ptr<VelNet::Server> server;
};

TEST_F(ServerTest, TwoClientsAtOnceAreServedEachOnItsOwnThread) {
    OutputCapture out(1);
    ASSERT_TRUE(startServer());
    Client first(server->port());
    ASSERT_TRUE(out.waitFor("(of 1\n"));
    Client second(server->port());
    ASSERT_TRUE(out.waitFor("(of 2\n"));
    const int firstId = idOfLine(out.text(), "Started ");
    EXPECT_EQ(idOfLine(out.text(), "Started ", 1), firstId + 1);

    // The first connection's thread waits in the middle of a line while the second is served.
    first.send("hello fr");
    second.send("hello from two\r\n");
    EXPECT_EQ(second.line(), "line:hello from two\r");
    first.send("om one\r\n");
    EXPECT_EQ(first.line(), "line:hello from one\r");

    first.close();
    ASSERT_TRUE(out.waitFor("Stopped " + std::to_string(firstId) + " connection (of 1\n"));
    second.send("quit\r\n");
    EXPECT_TRUE(second.closedByServer());
    EXPECT_TRUE(out.waitFor("Stopped " + std::to_string(firstId + 1) + " connection (of 0\n"));
}

TEST_F(ServerTest, PortHeldByAnotherSocketFailsWithBindErrorAndAFreePortWorksAfterwards) {
    nettest::PortHolder holder;
    {
        OutputCapture err(2);
        server = std::make_unique<VelNet::Server>();
        EXPECT_FALSE(server->start(holder.port(), factory));
        EXPECT_EQ(err.text(), "bind error\n");
        EXPECT_FALSE(server->start(70000, factory));
        EXPECT_EQ(err.text(), "bind error\nbind error\n");
    }
    EXPECT_EQ(server->port(), 0);
    // The same server object and a new one both start on a free port.
    ASSERT_TRUE(server->start(0, factory));
    Client client(server->port());
    client.send("ping\r\n");
    EXPECT_EQ(client.line(), "line:ping\r");
    ASSERT_TRUE(startServer());
    Client other(server->port());
    other.send("ping\r\n");
    EXPECT_EQ(other.line(), "line:ping\r");
}

TEST_F(ServerTest, ReplacingTheServerClosesItsConnectionsAndIdsContinue) {
    OutputCapture out(1);
    ASSERT_TRUE(startServer());
    const int oldPort = server->port();
    Client first(oldPort);
    Client second(oldPort);
    ASSERT_TRUE(out.waitFor("(of 2\n"));
    first.send("unfinished");

    // What a new "project.net.init" does: the old server goes, a new one listens elsewhere.
    ASSERT_TRUE(startServer());
    EXPECT_NE(server->port(), oldPort);
    EXPECT_TRUE(first.closedByServer());
    EXPECT_TRUE(second.closedByServer());
    EXPECT_FALSE(Client(oldPort).connected());

    Client third(server->port());
    ASSERT_TRUE(out.waitFor("(of 1\n", 2));
    const std::string text = out.text();
    EXPECT_EQ(idOfLine(text, "Started ", 2), idOfLine(text, "Started ", 1) + 1);
    // Connections of a server that is gone end without a word.
    EXPECT_EQ(text.find("Stopped "), std::string::npos);
}

TEST_F(ServerTest, PeerThatSendsNothingAndClosesEndsWithoutReply) {
    OutputCapture out(1);
    ASSERT_TRUE(startServer());
    {
        Client silent(server->port());
        ASSERT_TRUE(out.waitFor("(of 1\n"));
    }
    ASSERT_TRUE(out.waitFor("Stopped "));
    const int id = idOfLine(out.text(), "Started ");
    EXPECT_EQ(idOfLine(out.text(), "Stopped "), id);
    EXPECT_NE(out.text().find("Stopped " + std::to_string(id) + " connection (of 0\n"), std::string::npos);

    Client resetting(server->port());
    ASSERT_TRUE(out.waitFor("(of 1\n", 2));
    resetting.reset();
    EXPECT_TRUE(out.waitFor("Stopped " + std::to_string(id + 1) + " connection (of 0\n"));
}

TEST_F(ServerTest, BytesBehindTheLineComeFirstAndWhole) {
    ASSERT_TRUE(startServer());
    Client client(server->port());
    // Both go out in one segment: the line reader receives the raw bytes along with the line.
    client.send("take 10 4\r\nabcdefgh");
    EXPECT_EQ(client.line(), "4:abcd\r");
    EXPECT_EQ(client.line(), "4:efgh\r");
    // Only now is the buffer empty, and the next call receives.
    client.send("ij");
    EXPECT_EQ(client.line(), "2:ij\r");

    std::string payload;
    for (unsigned i = 0; i < 300000; ++i) {
        payload += static_cast<char>(i * 7919u % 251u);
    }
    client.send("sum " + std::to_string(payload.size()) + "\r\n" + payload + "ping\r\n");
    EXPECT_EQ(client.line(), std::to_string(payload.size()) + ":" + hashOf(payload) + "\r");
    EXPECT_EQ(client.line(), "line:ping\r");
}

TEST_F(ServerTest, SentenceSplitAcrossSegmentsIsOneLine) {
    ASSERT_TRUE(startServer());
    Client client(server->port());
    for (const char* piece : {"project.", "new(", ");\r", "\n"}) {
        client.send(piece);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(client.line(), "line:project.new();\r");
    // A lone CR or LF never ends a line.
    client.send("a\rb\nc\r");
    std::this_thread::sleep_for(5ms);
    client.send("\nnext\r\n");
    EXPECT_EQ(client.line(), "line:a\rb");
    EXPECT_EQ(client.line(), "c\r");
    EXPECT_EQ(client.line(), "line:next\r");
}

TEST_F(ServerTest, LineLongerThanOneMebibyteEndsTheConnection) {
    ASSERT_TRUE(startServer());
    Client client(server->port());
    const std::string longest(VelNet::ReceiveBuffer::MaximumLineLength, 'x');
    client.send(longest + "\r\n");
    EXPECT_EQ(client.line(), "line:" + longest + "\r");

    OutputCapture err(2);
    client.send(longest + "yz");
    EXPECT_TRUE(client.closedByServer());
    EXPECT_EQ(err.text(), "line too long\n");
}

TEST_F(ServerTest, SendsToAPeerThatResetNeitherRaiseSigpipeNorFail) {
    std::atomic<long> lastResult{1};
    CountingFactory flooding([&lastResult](VelOS::Socket& socket) {
        std::string line;
        socket.readLine(line);
        const std::string block(64 * 1024, 'z');
        for (int i = 0; i < 2000 && lastResult > 0; ++i) {
            lastResult = socket.send(block);
        }
    });
    {
        VelNet::Server floodServer;
        ASSERT_TRUE(floodServer.start(0, flooding));
        Client client(floodServer.port());
        client.send("flood\r\n");
        client.reset();
        EXPECT_TRUE(eventually([&] { return lastResult < 0; }));
    }
    EXPECT_TRUE(flooding.waitUntilAllReleased());
}

TEST_F(ServerTest, StopEndsAcceptingQuietlyWhileConnectionsGoOn) {
    OutputCapture out(1);
    OutputCapture err(2);
    ASSERT_TRUE(startServer());
    const int port = server->port();
    Client client(port);
    ASSERT_TRUE(out.waitFor("(of 1\n"));
    server->stop();
    EXPECT_EQ(server->port(), 0);
    EXPECT_FALSE(Client(port).connected());
    client.send("still here\r\n");
    EXPECT_EQ(client.line(), "line:still here\r");
    // A connection that ends after the stop is not reported.
    client.send("quit\r\n");
    EXPECT_TRUE(client.closedByServer());
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(out.text().find("Stopped "), std::string::npos);
}

TEST_F(ServerTest, StartingARunningServerAgainMovesItToTheNewPort) {
    nettest::PortHolder holder;
    ASSERT_TRUE(startServer());
    const int oldPort = server->port();
    Client client(oldPort);
    client.send("before\r\n");
    EXPECT_EQ(client.line(), "line:before\r");
    {
        OutputCapture err(2);
        EXPECT_FALSE(server->start(holder.port(), factory));
        EXPECT_EQ(err.text(), "bind error\n");
    }
    ASSERT_TRUE(server->start(0, factory));
    Client newcomer(server->port());
    newcomer.send("new\r\n");
    EXPECT_EQ(newcomer.line(), "line:new\r");
    client.send("after\r\n");
    EXPECT_EQ(client.line(), "line:after\r");
}

TEST_F(ServerTest, ServerDestroyedFromInsideOneOfItsConnections) {
    // What "project.net.done" does on a command connection: the connection's own thread destroys
    // the server, then writes its reply to a socket that is already closed.
    std::mutex serverGuard;
    std::unique_ptr<VelNet::Server> doomed;
    std::atomic<bool> openAfter{true};
    std::atomic<bool> readAfter{true};
    std::atomic<long> sentAfter{0};
    CountingFactory destroying([&](VelOS::Socket& socket) {
        SocketChannel channel(socket);
        std::string line;
        while (channel.isOpen() && channel.readLine(line)) {
            if (line == "done") {
                std::lock_guard<std::mutex> hold(serverGuard);
                doomed.reset();
                sentAfter = channel.writeBytes("ok\r\n", 4);
                openAfter = channel.isOpen();
                readAfter = channel.readLine(line);
            } else {
                channel.writeLine("line:" + line + "\r\n");
            }
        }
    });
    OutputCapture out(1);
    int port;
    {
        std::lock_guard<std::mutex> hold(serverGuard);
        doomed = std::make_unique<VelNet::Server>();
        ASSERT_TRUE(doomed->start(0, destroying));
        port = doomed->port();
    }
    Client bystander(port);
    Client requester(port);
    ASSERT_TRUE(out.waitFor("(of 2\n"));
    bystander.send("here\r\n");
    EXPECT_EQ(bystander.line(), "line:here\r");

    requester.send("done\r\n");
    EXPECT_TRUE(requester.closedByServer());
    EXPECT_TRUE(bystander.closedByServer());
    EXPECT_TRUE(destroying.waitUntilAllReleased());
    EXPECT_LT(sentAfter.load(), 0);
    EXPECT_FALSE(openAfter.load());
    EXPECT_FALSE(readAfter.load());
    EXPECT_EQ(out.text().find("Stopped "), std::string::npos);
    EXPECT_FALSE(Client(port).connected());
}

TEST_F(ServerTest, ListenerGetsEventsFromOtherThreadsAndLeavesOnQuit) {
    std::mutex listenerGuard;
    ListenerChannel* listener = nullptr;
    CountingFactory listening([&](VelOS::Socket& socket) {
        SocketChannel channel(socket);
        {
            std::lock_guard<std::mutex> hold(listenerGuard);
            listener = &channel;
        }
        channel.waitUntilLeaves();
        std::lock_guard<std::mutex> hold(listenerGuard);
        listener = nullptr;
    });
    {
        VelNet::Server listenServer;
        ASSERT_TRUE(listenServer.start(0, listening));
        Client client(listenServer.port());
        ASSERT_TRUE(eventually([&] {
            std::lock_guard<std::mutex> hold(listenerGuard);
            return listener != nullptr;
        }));
        std::thread broadcaster([&] {
            std::lock_guard<std::mutex> hold(listenerGuard);
            listener->sendLine("project.new();\n");
        });
        broadcaster.join();
        EXPECT_EQ(client.line(), "project.new();");
        client.send("ignored();\r\nquit();  \r\n");
        {
            std::lock_guard<std::mutex> hold(listenerGuard);
            listener->sendLine("still listening\n");
        }
        EXPECT_EQ(client.line(), "still listening");
        client.send("quit();\r\n");
        EXPECT_TRUE(client.closedByServer());
        EXPECT_TRUE(eventually([&] {
            std::lock_guard<std::mutex> hold(listenerGuard);
            return listener == nullptr;
        }));
    }
    EXPECT_TRUE(listening.waitUntilAllReleased());
}

namespace {

// A client that must say hello first, as the player's clients send their handshake line; then
// the script.
void serveAfterHello(VelOS::Socket& socket) {
    std::string line;
    if (!socket.readLine(line) || line != "hello") {
        return;
    }
    socket.clearReceiveDeadline();
    socket.send("hi\r\n");
    serveScript(socket);
}

constexpr uint32_t address(int last) {
    return 0x7f000000u | static_cast<uint32_t>(last);
}

// A client from 127.0.0.last that said hello, or one that said nothing yet.
std::unique_ptr<Client> greeted(int port, int last) {
    auto client = std::make_unique<Client>(port, address(last));
    client->send("hello\r\n");
    EXPECT_EQ(client->line(), "hi\r");
    return client;
}

bool isServed(Client& client) {
    client.send("ping\r\n");
    return client.line() == "line:ping\r";
}

class ServerPolicyTest : public ::testing::Test {
protected:
    void TearDown() override {
        server.reset();
        EXPECT_TRUE(factory.waitUntilAllReleased()) << "a connection thread never finished";
    }

    bool startServer(const VelNet::ServerPolicy& policy) {
        server = std::make_unique<VelNet::Server>(policy);
        return server->start(0, factory);
    }

    // Waits until the server holds count connections.
    bool holds(int count) {
        return eventually([&] { return server->connectionCount() == count; });
    }

    CountingFactory factory{serveAfterHello};
    std::unique_ptr<VelNet::Server> server;
};

} // namespace

// Strangers (here every address but 127.0.0.1) hold at most a few connections from one address,
// and never the places kept for trusted clients.
TEST_F(ServerPolicyTest, StrangersAreBoundPerAddressAndLeaveTheReservedPlaces) {
    OutputCapture err(2);
    VelNet::ServerPolicy policy;
    policy.trusted = {{address(1), 32}};
    policy.maximumConnections = 16; // two of them reserved
    policy.maximumPerAddress = 4;
    ASSERT_EQ(policy.reservedConnections(), 2);
    ASSERT_TRUE(startServer(policy));
    std::vector<std::unique_ptr<Client>> strangers;
    for (int i = 0; i < 4; ++i) {
        strangers.push_back(greeted(server->port(), 2));
    }
    Client fifth(server->port(), address(2));
    fifth.send("hello\r\n");
    EXPECT_TRUE(fifth.closedByServer());
    EXPECT_TRUE(err.waitFor("refused client 127.0.0.2: too many connections from this address (limit 4)\n"));
    for (int last : {3, 4}) {
        for (int i = 0; i < 4; ++i) {
            strangers.push_back(greeted(server->port(), last));
        }
    }
    strangers.push_back(greeted(server->port(), 5));
    strangers.push_back(greeted(server->port(), 5));
    ASSERT_TRUE(holds(14));
    Client past(server->port(), address(5));
    past.send("hello\r\n");
    EXPECT_TRUE(past.closedByServer());
    EXPECT_TRUE(err.waitFor("refused client 127.0.0.5: too many connections (limit 16)\n"));
    // The reserved places are the trusted clients'.
    auto local = greeted(server->port(), 1);
    auto another = greeted(server->port(), 1);
    EXPECT_TRUE(isServed(*local));
    EXPECT_TRUE(isServed(*another));
    for (auto& stranger : strangers) {
        EXPECT_TRUE(isServed(*stranger));
    }
}

// A trusted client gets a place however full the server is: a stranger's first, then the oldest
// that never finished its handshake, then the newest of the address that holds the most.
TEST_F(ServerPolicyTest, ATrustedClientAlwaysGetsInInTheLeastUsefulPlace) {
    OutputCapture err(2);
    VelNet::ServerPolicy policy;
    policy.maximumConnections = 4; // no place reserved at this size
    policy.settleMilliseconds = 0;
    ASSERT_TRUE(startServer(policy));
    // All of 127.0.0.0/8 is trusted by default: two greeted clients, two silent ones.
    auto first = greeted(server->port(), 1);
    auto second = greeted(server->port(), 7);
    Client silentOld(server->port(), address(7));
    ASSERT_TRUE(holds(3));
    Client silentNew(server->port(), address(7));
    ASSERT_TRUE(holds(4));
    // The oldest silent one goes (a newcomer is sending its handshake), then the other; then
    // the newest of the address that holds the most.
    auto third = greeted(server->port(), 8);
    EXPECT_TRUE(silentOld.closedByServer());
    EXPECT_TRUE(isServed(*third));
    auto fourth = greeted(server->port(), 8);
    EXPECT_TRUE(silentNew.closedByServer());
    EXPECT_TRUE(
        err.waitFor("closed client 127.0.0.7: its place goes to a local or allowed client (limit 4)\n"));
    ASSERT_TRUE(holds(4));
    auto fifth = greeted(server->port(), 9);
    EXPECT_TRUE(fourth->closedByServer()); // 127.0.0.8 holds the most: its newest goes
    for (Client* client : {first.get(), second.get(), third.get(), fifth.get()}) {
        EXPECT_TRUE(isServed(*client));
    }
}

// Before anything has settled (every connection received something a moment ago), one still
// without its handshake goes before a client that made it.
TEST_F(ServerPolicyTest, BeforeAnythingSettlesAHandshakeNotYetMadeGoesFirst) {
    OutputCapture err(2);
    VelNet::ServerPolicy policy;
    policy.maximumConnections = 4;
    policy.settleMilliseconds = 60000;
    ASSERT_TRUE(startServer(policy));
    auto tool = greeted(server->port(), 1);
    auto flood = greeted(server->port(), 2);
    Client arriving(server->port(), address(3));
    auto flood2 = greeted(server->port(), 2);
    ASSERT_TRUE(holds(4));
    auto local = greeted(server->port(), 4);
    EXPECT_TRUE(arriving.closedByServer());
    auto local2 = greeted(server->port(), 4);
    EXPECT_TRUE(local->closedByServer()); // the newest of all
    EXPECT_TRUE(isServed(*tool));
    EXPECT_TRUE(isServed(*flood));
}

// With places held by strangers too, a trusted newcomer takes a stranger's place.
TEST_F(ServerPolicyTest, AStrangerGivesUpItsPlaceBeforeATrustedClient) {
    OutputCapture err(2);
    VelNet::ServerPolicy policy;
    policy.trusted = {{address(1), 32}};
    policy.maximumConnections = 16;
    ASSERT_TRUE(startServer(policy));
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 14; ++i) {
        clients.push_back(greeted(server->port(), 2 + i % 3));
    }
    auto local = greeted(server->port(), 1);
    auto local2 = greeted(server->port(), 1);
    ASSERT_TRUE(holds(16));
    auto local3 = greeted(server->port(), 1);
    EXPECT_TRUE(isServed(*local3));
    EXPECT_TRUE(isServed(*local));
    EXPECT_TRUE(isServed(*local2));
    EXPECT_TRUE(clients.back()->closedByServer()); // the newest stranger
    EXPECT_TRUE(
        err.waitFor("closed client 127.0.0.3: its place goes to a local or allowed client (limit 16)\n"));
}

TEST(Socket, WrapperFailuresThrowTheirMessages) {
    VelOS::Socket socket;
    try {
        socket.create(VelOS::Socket::Datagram);
        FAIL() << "no exception";
    } catch (const VelOS::Socket::Exception& failure) {
        EXPECT_EQ(failure.message(), "DGRAM Not implemented");
    }
    EXPECT_FALSE(socket.isValid());
    try {
        socket.listen(5);
        FAIL() << "no exception";
    } catch (const VelOS::Socket::Exception& failure) {
        EXPECT_EQ(failure.message(), "listen error");
    }
    socket.create(VelOS::Socket::Stream);
    EXPECT_TRUE(socket.isValid());
    try {
        socket.bind(-1);
        FAIL() << "no exception";
    } catch (const VelOS::Socket::Exception& failure) {
        EXPECT_EQ(failure.message(), "bind error");
    }
    // A socket that was never connected reads nothing and sends nothing.
    std::string line;
    EXPECT_FALSE(socket.readLine(line));
    EXPECT_LT(socket.send("x"), 0);
    socket.close();
    EXPECT_FALSE(socket.isValid());
    EXPECT_FALSE(socket.accept().isValid());
}

} // namespace
