// The player's command line and environment: options, the command file, and bad values.
#include "app/PlayerOptions.h"

#include <gtest/gtest.h>

using VelNet::ServerPolicy;

namespace {

PlayerOptions read(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "velquin");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(&argument[0]);
    }
    return readPlayerOptions(static_cast<int>(argv.size()), argv.data());
}

} // namespace

TEST(PlayerOptions, OptionsComeBeforeTheCommandFile) {
    PlayerOptions options = read({"--allow", "127.0.0.1", "--max-connections", "12", "show.cmd"});
    EXPECT_TRUE(options.error.empty()) << options.error;
    EXPECT_EQ(options.commandFile(), "show.cmd");
    EXPECT_EQ(options.serverPolicy.maximumConnections, 12);
    ASSERT_EQ(options.serverPolicy.allowed.size(), 1u);
    EXPECT_TRUE(options.serverPolicy.allows(0x7f000001));

    EXPECT_EQ(read({}).serverPolicy.maximumConnections, ServerPolicy::DefaultMaximumConnections);
    EXPECT_TRUE(read({}).commandFile().empty());
    // Two files: none runs, as with two arguments before.
    EXPECT_TRUE(read({"a.cmd", "b.cmd"}).commandFile().empty());
    EXPECT_TRUE(read({"--help"}).help);
    EXPECT_TRUE(read({"--version"}).version);
}

TEST(PlayerOptions, BadValuesSayWhich) {
    EXPECT_NE(read({"--max-connections", "0"}).error.find("--max-connections"), std::string::npos);
    EXPECT_NE(read({"--max-connections", "99999999999"}).error.find("--max-connections"), std::string::npos);
    EXPECT_NE(read({"--max-connections"}).error.find("needs a value"), std::string::npos);
    EXPECT_NE(read({"--allow", "everyone"}).error.find("everyone"), std::string::npos);
    EXPECT_NE(read({"--fly"}).error.find("unknown option --fly"), std::string::npos);
}
