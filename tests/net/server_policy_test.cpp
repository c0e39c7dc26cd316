// Who may connect: the allow-list's notation and its matching.
#include "net/ServerPolicy.h"

#include <gtest/gtest.h>

using VelNet::AddressRange;
using VelNet::ServerPolicy;

namespace {

uint32_t address(int a, int b, int c, int d) {
    return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(b) << 16 | static_cast<uint32_t>(c) << 8 |
           static_cast<uint32_t>(d);
}

} // namespace

TEST(ServerPolicy, EveryoneMayConnectUntilAddressesAreNamed) {
    ServerPolicy policy;
    EXPECT_TRUE(policy.allows(address(203, 0, 113, 9)));
    std::string bad;
    ASSERT_TRUE(VelNet::parseAddressList("127.0.0.1, 192.168.1.0/24,10.0.0.0/8", policy.allowed, bad));
    EXPECT_TRUE(policy.allows(address(127, 0, 0, 1)));
    EXPECT_FALSE(policy.allows(address(127, 0, 0, 2)));
    EXPECT_TRUE(policy.allows(address(192, 168, 1, 200)));
    EXPECT_FALSE(policy.allows(address(192, 168, 2, 1)));
    EXPECT_TRUE(policy.allows(address(10, 255, 0, 1)));
    // A block written with host bits set means the block.
    ASSERT_TRUE(VelNet::parseAddressList("172.16.5.4/12", policy.allowed, bad));
    EXPECT_TRUE(policy.allows(address(172, 31, 0, 1)));
    EXPECT_FALSE(policy.allows(address(172, 32, 0, 1)));
    ASSERT_TRUE(VelNet::parseAddressList("0.0.0.0/0", policy.allowed, bad));
    EXPECT_TRUE(policy.allows(address(8, 8, 8, 8)));
}

TEST(ServerPolicy, MalformedListsAreRefusedWhole) {
    std::vector<AddressRange> ranges{{address(1, 2, 3, 4), 32}};
    std::string bad;
    for (const char* text : {"localhost", "1.2.3", "1.2.3.4/33", "1.2.3.4/", "1.2.3.4/-1", "::1", "1.2.3.4/8x",
                             "256.1.1.1"}) {
        EXPECT_FALSE(VelNet::parseAddressList(std::string("127.0.0.1,") + text, ranges, bad)) << text;
        EXPECT_EQ(bad, text);
        EXPECT_EQ(ranges.size(), 1u); // unchanged
    }
}
