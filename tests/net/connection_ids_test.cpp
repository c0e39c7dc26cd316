// Connection ids start at 1 in a fresh process: this executable holds only this test, so no
// other test has drawn an id before it.
#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "net/Server.h"
#include "net/SocketChannel.h"

namespace {

using nettest::Client;
using nettest::CountingFactory;
using nettest::OutputCapture;

TEST(ConnectionIds, FirstTwoClientsGetIdsOneAndTwoWithTheirCounts) {
    CountingFactory factory([](VelOS::Socket& socket) {
        SocketChannel channel(socket);
        std::string line;
        while (channel.readLine(line)) {
        }
    });
    OutputCapture out(1);
    {
        VelNet::Server server;
        ASSERT_TRUE(server.start(0, factory));
        Client first(server.port());
        ASSERT_TRUE(out.waitFor("(of 1\n"));
        Client second(server.port());
        ASSERT_TRUE(out.waitFor("(of 2\n"));
        first.close();
        ASSERT_TRUE(out.waitFor("Stopped 1"));
        second.close();
        ASSERT_TRUE(out.waitFor("Stopped 2"));
        EXPECT_EQ(out.text(), "Started 1 connection (of 1\n"
                              "Started 2 connection (of 2\n"
                              "Stopped 1 connection (of 1\n"
                              "Stopped 2 connection (of 0\n");
    }
    EXPECT_TRUE(factory.waitUntilAllReleased());
}

} // namespace
