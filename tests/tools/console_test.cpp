// velquin-console's protocol pieces without a network: sentences built from a page's requests,
// the player's events and replies read back, the project snapshot, the access token, the paths
// and names that come from browsers, the camera listing and the JPEG of a picture; and the
// console's answer to uploads of every size, over loopback.

#include "tools/console/AccessToken.h"
#include "tools/console/CameraList.h"
#include "tools/console/Console.h"
#include "tools/console/ConsoleOptions.h"
#include "tools/console/ConsoleProtocol.h"
#include "tools/console/FileRelay.h"
#include "tools/console/HttpSession.h"
#include "tools/console/ProjectSnapshot.h"
#include "tools/console/WindowCapture.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>

#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

using namespace VelConsole;
using nlohmann::json;

TEST(ConsoleProtocol, EventsOfEveryHistoricShapeReadIntoTheirArguments) {
    Event event;
    ASSERT_TRUE(parseEvent(R"(project.actors.mesh.created("robot""pkg""robot.mesh");)", event));
    EXPECT_EQ(event.name, "project.actors.mesh.created");
    EXPECT_EQ(event.arguments, (std::vector<std::string>{"robot", "pkg", "robot.mesh"}));
    ASSERT_TRUE(parseEvent(R"(project.actors.mesh.rotated("robot"0, 90, -1.5e-05);)", event));
    EXPECT_EQ(event.arguments, (std::vector<std::string>{"robot", "0", "90", "-1.5e-05"}));
    ASSERT_TRUE(parseEvent("project.actors.viewports(robot);", event));
    EXPECT_EQ(event.arguments, (std::vector<std::string>{"robot"}));
    ASSERT_TRUE(parseEvent("project.actors.allDestroyed();", event));
    EXPECT_TRUE(event.arguments.empty());
    // Texts keep their blanks, commas, parentheses and escaped quotes.
    ASSERT_TRUE(parseEvent(R"x(project.title.changed("The \"big\" one, (2)");)x", event));
    EXPECT_EQ(event.arguments, (std::vector<std::string>{"The \"big\" one, (2)"}));
    ASSERT_TRUE(parseEvent(R"(project.actors.file.created("a""r""f.pdf""");)", event));
    EXPECT_EQ(event.arguments, (std::vector<std::string>{"a", "r", "f.pdf", ""}));
    for (const char* broken : {"", "no sentence", "project.title.changed(\"open", "x(1, 2", "(1);", "x(1)"}) {
        EXPECT_FALSE(parseEvent(broken, event)) << broken;
    }
}

TEST(ConsoleProtocol, SentencesCarryTextsAndNumbersThePlayerReadsBackUnchanged) {
    std::string sentence;
    std::string reason;
    ASSERT_TRUE(buildSentence("project.actors.mesh.translate", json::array({"a \"b\"", 1.5, -2, 1e20}),
                              sentence, reason));
    EXPECT_EQ(sentence, "project.actors.mesh.translate(\"a \\\"b\\\"\", 1.5, -2, 1e20);\r\n");
    ASSERT_TRUE(buildSentence("project.new", json::array(), sentence, reason));
    EXPECT_EQ(sentence, "project.new();\r\n");
    EXPECT_EQ(bareNumber(0.1), "0.1");
    EXPECT_EQ(bareNumber(2.5e-7), "2.5e-07");
    EXPECT_EQ(bareNumber(1.0 / 3.0), "0.3333333333333333");

    EXPECT_FALSE(buildSentence("project.title.set", json::array({"C:\\shows"}), sentence, reason));
    EXPECT_FALSE(buildSentence("project.title.set", json::array({"two\r\nlines"}), sentence, reason));
    EXPECT_FALSE(buildSentence("project.new();quit", json::array(), sentence, reason));
    EXPECT_FALSE(buildSentence("", json::array(), sentence, reason));
    EXPECT_FALSE(buildSentence("project.title.set", json::array({true}), sentence, reason));
    EXPECT_FALSE(buildSentence("project.title.set", json::array({json::array()}), sentence, reason));
    EXPECT_FALSE(buildSentence("project.title.set", json::object(), sentence, reason));
    EXPECT_FALSE(reason.empty());
}

TEST(ConsoleProtocol, RepliesReadAsListsTextsAndNumbers) {
    std::vector<std::string> list;
    ASSERT_TRUE(parseList(R"("a", "b \"c\"", "d, e")", list));
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b \"c\"", "d, e"}));
    ASSERT_TRUE(parseList("", list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(parseList("fail", list));
    EXPECT_FALSE(parseList(R"("a" "b")", list));

    std::string text;
    ASSERT_TRUE(parseQuoted(R"("say "hi"")", text));
    EXPECT_EQ(text, "say \"hi\"");
    EXPECT_FALSE(parseQuoted("fail ", text));

    std::vector<double> numbers;
    ASSERT_TRUE(parseNumbers("(1, 2.5, -0.125)", numbers));
    EXPECT_EQ(numbers, (std::vector<double>{1, 2.5, -0.125}));
    ASSERT_TRUE(parseNumbers("(1, 0, 0, 0)", numbers));
    EXPECT_EQ(numbers.size(), 4u);
    EXPECT_FALSE(parseNumbers("fail", numbers));
    EXPECT_FALSE(parseNumbers("(1, x)", numbers));
}

TEST(ProjectSnapshot, TwoRoundsOfQuestionsMakeTheWholeProject) {
    ProjectSnapshot snapshot;
    const std::vector<std::string> first = snapshot.firstQuestions();
    ASSERT_EQ(first.size(), 15u);
    EXPECT_EQ(first[0], "project.resources.getList();\r\n");
    // resources, trackers, mesh, scene, file, light, then title, debug and the camera.
    const std::vector<std::string> second = snapshot.secondQuestions(
        {R"("pkg")", R"("vee")", R"("robot")", "", R"("poster")", R"("lamp")", R"("My "show"")", "true",
         "true", R"("V4L2")", R"("/dev/video0")", "false", "true", "false", "100"});
    // 2 per resource, 2 per tracker, 8 for the mesh, 7 for the file actor, 4 for the light.
    ASSERT_EQ(second.size(), 2u + 2u + 8u + 7u + 4u);
    EXPECT_EQ(second[0], "project.resources.getFilename(\"pkg\");\r\n");
    EXPECT_EQ(second[4], "project.actors.mesh.getTrackerName(\"robot\");\r\n");
    std::vector<std::string> replies(second.size(), "fail");
    replies[0] = R"("pkg.zip")";
    replies[1] = R"("robot.mesh", "robot.skeleton")";
    replies[2] = R"("letter-v.pat")";
    replies[3] = "80";
    replies[4] = R"("vee")";     // tracker
    replies[5] = "(0, 12.5, 0)"; // position
    replies[6] = R"("Walk", "Wave")";
    replies[7] = "ok"; // selected
    const json state = snapshot.assemble(replies);
    EXPECT_EQ(state["title"], "My \"show\"");
    EXPECT_EQ(state["camera"]["device"], "V4L2");
    EXPECT_EQ(state["camera"]["threshold"], 100);
    EXPECT_EQ(state["camera"]["flipX"], false);
    EXPECT_EQ(state["camera"]["flipY"], true);
    EXPECT_EQ(state["resources"]["pkg"]["files"], json::array({"robot.mesh", "robot.skeleton"}));
    EXPECT_EQ(state["trackers"]["vee"]["width"], 80);
    const json& robot = state["actors"]["robot"];
    EXPECT_EQ(robot["kind"], "mesh");
    EXPECT_EQ(robot["tracker"], "vee");
    EXPECT_EQ(robot["position"], json::array({0, 12.5, 0}));
    EXPECT_EQ(robot["animations"], json::array({"Walk", "Wave"}));
    EXPECT_EQ(robot["selected"], true);
    // Failed replies leave empty values, never a broken state.
    EXPECT_EQ(robot["angles"], json::array());
    EXPECT_EQ(state["actors"]["lamp"]["kind"], "light");
    EXPECT_FALSE(state["actors"]["lamp"].contains("scale"));
    EXPECT_EQ(state["actors"]["poster"]["type"], "");
}

TEST(AccessToken, RandomTokensDifferAndOnlyTheExactTokenMatches) {
    AccessToken one;
    AccessToken two;
    ASSERT_TRUE(one.generate());
    ASSERT_TRUE(two.generate());
    EXPECT_EQ(one.text().size(), 32u);
    EXPECT_NE(one.text(), two.text());
    EXPECT_TRUE(one.matches(one.text()));
    EXPECT_FALSE(one.matches(two.text()));
    EXPECT_FALSE(one.matches(""));
    EXPECT_FALSE(one.matches(one.text().substr(1)));
    EXPECT_FALSE(AccessToken().matches(""));
}

TEST(AccessToken, TheTokenComesFromTheQueryOrTheCookie) {
    EXPECT_EQ(AccessToken::offeredBy("/?token=abc", "", "c"), "abc");
    EXPECT_EQ(AccessToken::offeredBy("/upload?name=x&token=abc#top", "", "c"), "abc");
    EXPECT_EQ(AccessToken::offeredBy("/app.js", "other=1; c=xyz; d=2", "c"), "xyz");
    EXPECT_EQ(AccessToken::offeredBy("/app.js", "cc=xyz", "c"), "");
    EXPECT_EQ(AccessToken::offeredBy("/?mytoken=abc", "", "c"), "");
}

TEST(AccessToken, ATokenFileNeedsALongPlainToken) {
    const std::string path = ::testing::TempDir() + "console-token";
    AccessToken token;
    std::string error;
    std::ofstream(path) << "  0123456789abcdef-_.~XYZ \nsecond line\n";
    ASSERT_TRUE(token.readFrom(path, error)) << error;
    EXPECT_EQ(token.text(), "0123456789abcdef-_.~XYZ");
    std::ofstream(path) << "short\n";
    EXPECT_FALSE(token.readFrom(path, error));
    std::ofstream(path) << "0123456789abcdef&x=1\n";
    EXPECT_FALSE(token.readFrom(path, error));
    std::remove(path.c_str());
    EXPECT_FALSE(token.readFrom(path, error));
    EXPECT_NE(error.find(path), std::string::npos);
}

TEST(ConsoleOptions, AddressesAndLimitsAreChecked) {
    ConsoleOptions options;
    std::string error;
    const char* good[] = {"--player", "10.0.0.5:4001", "--listen", "0.0.0.0:0", "--max-upload", "16"};
    ASSERT_TRUE(parseConsoleOptions(6, good, options, error)) << error;
    EXPECT_EQ(options.playerHost, "10.0.0.5");
    EXPECT_EQ(options.playerPort, 4001);
    EXPECT_EQ(options.listenPort, 0);
    EXPECT_EQ(options.maxUploadBytes, 16LL << 20);
    for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{{"--player", "host"},
                                                                              {"--player", "host:0"},
                                                                              {"--listen", ":80"},
                                                                              {"--listen", "a:65536"},
                                                                              {"--max-upload", "0"},
                                                                              {"--max-upload", "x"},
                                                                              {"--token-file"},
                                                                              {"--what"}}) {
        ConsoleOptions other;
        EXPECT_FALSE(parseConsoleOptions(static_cast<int>(bad.size()), bad.data(), other, error)) << bad[0];
    }
    std::string host;
    int port = 0;
    ASSERT_TRUE(splitAddress("[::1]:8080", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_TRUE(isLoopbackHost("127.0.0.1"));
    EXPECT_TRUE(isLoopbackHost("localhost"));
    EXPECT_FALSE(isLoopbackHost("192.168.1.2"));
}

TEST(HttpRequests, OnlyPlainFilesOfThePageFolderAreServed) {
    EXPECT_EQ(pageFileName("/"), "index.html");
    EXPECT_EQ(pageFileName("/app.js"), "app.js");
    EXPECT_EQ(pageFileName("/console.css"), "console.css");
    for (const char* bad : {"/../etc/passwd", "/..", "/.hidden", "/a/b.js", "/a%2fb.js", "/noextension",
                            "/a.b.c", "//etc/passwd", "", "/app.js\\x", "/a.js/"}) {
        EXPECT_EQ(pageFileName(bad), "") << bad;
    }
    EXPECT_EQ(targetPath("/upload?name=a#x"), "/upload");
    EXPECT_EQ(queryParameter("/upload?token=t&name=my%20show.zip", "name"), "my show.zip");
    EXPECT_EQ(queryParameter("/upload?name=a%2", "name"), "");
    EXPECT_EQ(queryParameter("/upload?rename=a", "name"), "");
    EXPECT_EQ(attachmentName("folder/show 1.zip"), "show_1.zip");
    EXPECT_EQ(attachmentName("a\"b\r\n.zip"), "a_b__.zip");
}

TEST(HttpRequests, WebSocketsAreTakenOnlyFromTheConsolesOwnPages) {
    EXPECT_TRUE(originAllowed("http://127.0.0.1:8080", "127.0.0.1:8080"));
    EXPECT_TRUE(originAllowed("", "127.0.0.1:8080"));
    EXPECT_FALSE(originAllowed("http://evil.example", "127.0.0.1:8080"));
    EXPECT_FALSE(originAllowed("http://127.0.0.1:8081", "127.0.0.1:8080"));
    EXPECT_FALSE(originAllowed("null", "127.0.0.1:8080"));
    EXPECT_FALSE(originAllowed("http://", ""));
}

namespace {

// The whole answer of a console to the head of a POST /upload that says size bytes will follow.
std::string uploadAnswer(unsigned short port, const std::string& token, unsigned long long size) {
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket(io);
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    const std::string head = "POST /upload?name=show.zip&token=" + token +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(size) +
                             "\r\n\r\n";
    boost::asio::write(socket, boost::asio::buffer(head));
    std::string answer;
    boost::system::error_code error;
    boost::asio::read(socket, boost::asio::dynamic_buffer(answer), error);
    return answer;
}

} // namespace

TEST(Uploads, EverySizeIsJudgedByTheConsolesBoundAndAnswered) {
    // A player port nobody listens on: an upload the console takes fails at the player instead.
    unsigned short nobody = 0;
    {
        boost::asio::io_context io;
        boost::asio::ip::tcp::acceptor probe(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
        nobody = probe.local_endpoint().port();
    }
    ConsoleOptions options;
    options.listenPort = 0;
    options.playerPort = nobody;
    options.maxUploadBytes = 2LL << 20;
    options.windowTitle = "No such window";
    AccessToken token;
    ASSERT_TRUE(token.generate());
    boost::asio::io_context io(1);
    Console console(io, options, token);
    std::string error;
    ASSERT_TRUE(console.start(error)) << error;
    std::thread network([&io] { io.run(); });

    // Past the HTTP parser's own 1 MiB, still within the bound: the console takes it on.
    const std::string taken = uploadAnswer(console.boundPort(), token.text(), 3ULL << 19);
    EXPECT_EQ(taken.compare(0, 12, "HTTP/1.1 502"), 0) << taken;
    EXPECT_NE(taken.find("no player at 127.0.0.1:" + std::to_string(nobody)), std::string::npos) << taken;
    // Over the bound, at any size: refused with the reason.
    for (const unsigned long long size : {(2ULL << 20) + 1, 1ULL << 40}) {
        const std::string refused = uploadAnswer(console.boundPort(), token.text(), size);
        EXPECT_EQ(refused.compare(0, 12, "HTTP/1.1 413"), 0) << refused;
        EXPECT_NE(refused.find("the file is larger than the console accepts (2 MiB, --max-upload)"),
                  std::string::npos)
            << refused;
    }

    boost::asio::post(io, [&] {
        console.stop();
        io.stop();
    });
    network.join();
}

TEST(CameraList, EverySizeThePlayerReadsBecomesAChoice) {
    const json cameras =
        parseCameraList("/dev/video0: \"Desk Camera\"\n"
                        "  YUYV 640x480 at 30, 15 fps: \"/dev/video0 640x480@30\"\n"
                        "  MJPEG 640x480 at 30 fps: (\"/dev/video0 640x480@30\" takes YUYV)\n"
                        "  H264 1920x1080 at 30 fps: not a format the player reads\n"
                        "/dev/video2: \"Other\"\n"
                        "  lists no sizes; try \"/dev/video2 640x480\"\n");
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0]["configuration"], "/dev/video0 640x480@30");
    EXPECT_EQ(cameras[0]["label"], "Desk Camera (/dev/video0): YUYV 640x480 at 30, 15 fps");
    EXPECT_EQ(cameras[1]["configuration"], "/dev/video2 640x480");
    EXPECT_TRUE(parseCameraList("No camera found (looked at /dev/video*).\n").empty());

    std::string listing;
    std::string reason;
    EXPECT_FALSE(runCameraListing("/nonexistent/velquin", 2000, listing, reason));
    EXPECT_FALSE(reason.empty());
}

TEST(WindowCapture, PixelsBecomeAJpegOfTheirSize) {
    const int width = 64, height = 48;
    std::vector<unsigned char> pixels(width * height * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<unsigned char>(i * 7);
    }
    std::string jpeg;
    ASSERT_TRUE(compressBgrx(pixels.data(), width, height, width * 4, 70, jpeg));
    ASSERT_GT(jpeg.size(), 100u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    // The frame header (SOF0) names the picture's height and width.
    const std::string::size_type frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    EXPECT_EQ((static_cast<unsigned char>(jpeg[frame + 5]) << 8) |
                  static_cast<unsigned char>(jpeg[frame + 6]),
              height);
    EXPECT_EQ((static_cast<unsigned char>(jpeg[frame + 7]) << 8) |
                  static_cast<unsigned char>(jpeg[frame + 8]),
              width);
}
