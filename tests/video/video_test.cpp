// Camera devices and the capture thread, with recorded frames played as a camera.
#include "platform/enginelog.h"
#include "support/ScratchDirectory.h"
#include "support/Wait.h"
#include "video/FakeV4L2Kernel.h"
#include "video/FileVideoDevice.h"
#include "video/FrameSink.h"
#include "video/V4L2VideoDevice.h"
#include "video/VelVideoCapture.h"

#include <OGRE/Ogre.h>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

// The engine's image codecs, without a window.
class Codecs : public ::testing::Environment {
public:
    void SetUp() override {
        logs = std::make_unique<Ogre::LogManager>();
        logs->createLog("video_tests.log", true, false, true);
        root = std::make_unique<Ogre::Root>("", "", "");
        root->loadPlugin(std::string(VELQUIN_OGRE_PLUGIN_DIR) + "/Codec_STBI");
    }
    void TearDown() override {
        root.reset();
        logs.reset();
    }
    std::unique_ptr<Ogre::LogManager> logs;
    std::unique_ptr<Ogre::Root> root;
};
::testing::Environment* const codecs = ::testing::AddGlobalTestEnvironment(new Codecs);

// A binary PPM of one colour.
void writeFrame(const std::string& path, int width, int height, unsigned char r, unsigned char g,
                unsigned char b) {
    std::string bytes = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int i = 0; i < width * height; ++i) {
        bytes += static_cast<char>(r);
        bytes += static_cast<char>(g);
        bytes += static_cast<char>(b);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Delivery {
    int width, height;
    unsigned format;
    unsigned char blue, green, red, alpha;
};

class RecordingSink : public FrameSink {
public:
    void frame(const unsigned char* pixels, int width, int height, unsigned format) override {
        std::lock_guard<std::mutex> hold(guard_);
        deliveries_.push_back({width, height, format, pixels[0], pixels[1], pixels[2], pixels[3]});
    }
    std::vector<Delivery> deliveries() {
        std::lock_guard<std::mutex> hold(guard_);
        return deliveries_;
    }
    size_t count() { return deliveries().size(); }
    bool waitFor(size_t count) {
        for (int i = 0; i < 400 && this->count() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return this->count() >= count;
    }

private:
    std::mutex guard_;
    std::vector<Delivery> deliveries_;
};

class LogLines {
public:
    LogLines() {
        VelOS::setEngineLogSink([this](const std::string& line) {
            std::lock_guard<std::mutex> hold(guard_);
            lines_.push_back(line);
        });
    }
    ~LogLines() { VelOS::setEngineLogSink(nullptr); }
    bool has(const std::string& line) {
        std::lock_guard<std::mutex> hold(guard_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }

private:
    std::mutex guard_;
    std::vector<std::string> lines_;
};

} // namespace

TEST(VideoDevices, TypesAreExactAndBadConfigurationsOpenNothing) {
    ScratchDirectory scratch;
    writeFrame(scratch.path() + "one.ppm", 8, 4, 10, 20, 30);
    EXPECT_TRUE(createVideoDevice("File", "one.ppm", scratch.path()));
    EXPECT_FALSE(createVideoDevice("file", "one.ppm", scratch.path()));
    EXPECT_FALSE(createVideoDevice("Webcam", "", scratch.path()));
    EXPECT_FALSE(createVideoDevice("File", "missing.ppm", scratch.path()));
    EXPECT_FALSE(createVideoDevice("File", "/etc/passwd", scratch.path()));
    EXPECT_FALSE(createVideoDevice("File", "../../etc/hostname", scratch.path()));
    EXPECT_FALSE(createVideoDevice("V4L2", "/etc/passwd", scratch.path()));
    EXPECT_FALSE(createVideoDevice("V4L2", "/dev/video97", scratch.path()));
}

TEST(VideoDevices, CameraConfigurationGrammar) {
    std::string device;
    int width = 0, height = 0, rate = 0;
    ASSERT_TRUE(V4L2VideoDevice::parseConfiguration("", device, width, height, rate));
    EXPECT_EQ(device, "/dev/video0");
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(rate, 0);
    ASSERT_TRUE(V4L2VideoDevice::parseConfiguration("/dev/video2 1280x720@25", device, width, height, rate));
    EXPECT_EQ(device, "/dev/video2");
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);
    EXPECT_EQ(rate, 25);
    ASSERT_TRUE(V4L2VideoDevice::parseConfiguration("@15", device, width, height, rate));
    EXPECT_EQ(rate, 15);
    for (const char* bad : {"/dev/sda", "/dev/video0/../sda", "640x", "x480", "640*480", "640x480@", "@0",
                            "12x0", "99999x2", "<dsvl><camera/></dsvl>", "4294967936x480", "640x4294967776",
                            "-640x480", "+640x480", "640x480x2", "0x0"}) {
        EXPECT_FALSE(V4L2VideoDevice::parseConfiguration(bad, device, width, height, rate)) << bad;
    }
}

TEST(VideoDevices, RecordedFramesPlayInNameOrderAsBlueGreenRedAlpha) {
    ScratchDirectory scratch;
    ASSERT_EQ(mkdir((scratch.path() + "rec").c_str(), 0700), 0);
    writeFrame(scratch.path() + "rec/b.ppm", 16, 8, 0, 255, 0);
    writeFrame(scratch.path() + "rec/a.ppm", 16, 8, 255, 0, 0);
    writeFrame(scratch.path() + "rec/c.ppm", 32, 16, 0, 0, 255); // scaled to the first size
    scratch.write("rec/notes.txt", "not an image");
    FileVideoDevice device("rec@1000", scratch.path());
    ASSERT_TRUE(device.isValid());
    EXPECT_EQ(device.width(), 16);
    EXPECT_EQ(device.height(), 8);
    EXPECT_EQ(device.frameSize(), 16u * 8u * 4u);
    std::vector<unsigned char> frame(device.frameSize());
    const unsigned char expected[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 0, 255}}; // B, G, R
    for (const auto& colour : expected) {
        while (!device.copyFrame(frame.data())) {
            device.waitForFrame(5);
        }
        EXPECT_EQ(frame[0], colour[0]);
        EXPECT_EQ(frame[1], colour[1]);
        EXPECT_EQ(frame[2], colour[2]);
        EXPECT_EQ(frame[3], 255);
    }
}

TEST(VelVideoCapture, DeliversFramesToItsSinksAndStopsWithoutWaiting) {
    ScratchDirectory scratch;
    writeFrame(scratch.path() + "vga.ppm", 640, 480, 1, 2, 3);
    writeFrame(scratch.path() + "small.ppm", 32, 24, 9, 9, 9);
    LogLines log;
    RecordingSink sink;
    VelVideoCapture capture;
    capture.setWorkDirectory(scratch.path());

    EXPECT_FALSE(capture.initialise("file", "vga.ppm"));
    EXPECT_TRUE(log.has("VelVideoCapture::initialise: cannot create device"));
    EXPECT_FALSE(capture.isCapturing());

    capture.addSink(&sink);
    ASSERT_TRUE(capture.initialise("File", "vga.ppm@200"));
    EXPECT_TRUE(capture.isCapturing());
    EXPECT_EQ(capture.deviceName(), "File");
    EXPECT_EQ(capture.configuration(), "vga.ppm@200");
    EXPECT_EQ(capture.frameWidth() * capture.frameHeight() * 4, 1228800);
    ASSERT_TRUE(sink.waitFor(3));
    const Delivery first = sink.deliveries().front();
    EXPECT_EQ(first.width, 640);
    EXPECT_EQ(first.format, 4u);
    EXPECT_EQ(first.red, 1);
    EXPECT_EQ(first.blue, 3);

    // A second initialise replaces the device: soon every frame comes from the new one.
    ASSERT_TRUE(capture.initialise("File", "small.ppm@200"));
    const size_t before = sink.count();
    ASSERT_TRUE(sink.waitFor(before + 3));
    EXPECT_EQ(sink.deliveries().back().width, 32);
    const std::vector<Delivery> all = sink.deliveries();
    EXPECT_LE(std::count_if(all.begin() + static_cast<long>(before), all.end(),
                            [](const Delivery& d) { return d.width == 640; }),
              1);

    capture.removeSink(&sink);
    const size_t afterRemoval = sink.count();
    EXPECT_TRUE(
        testwait::holdsFor(std::chrono::milliseconds(50), [&] { return sink.count() <= afterRemoval + 1; }));

    capture.stop();
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(capture.deviceName(), "");
    EXPECT_EQ(capture.configuration(), "");
    capture.stop(); // harmless when nothing runs
}

// A restart does not wait for the ending run's thread, which may be in the middle of handing a
// frame to the sinks (marker detection takes a while): the new run's first frame waits for it.
// Two threads in the sink at once raced on its working buffers.
TEST(VelVideoCapture, ASinkNeverWorksOnTwoFramesAtOnceAcrossRestarts) {
    class SlowSink : public FrameSink {
    public:
        void frame(const unsigned char*, int, int, unsigned) override {
            if (inside_.fetch_add(1) != 0) {
                overlapped_ = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(15)); // the sink's work
            inside_.fetch_sub(1);
            delivered_.fetch_add(1);
        }
        std::atomic<int> inside_{0};
        std::atomic<int> delivered_{0};
        std::atomic<bool> overlapped_{false};
    };
    ScratchDirectory scratch;
    writeFrame(scratch.path() + "a.ppm", 64, 48, 1, 2, 3);
    writeFrame(scratch.path() + "b.ppm", 32, 24, 9, 9, 9);
    SlowSink sink;
    VelVideoCapture capture;
    capture.setWorkDirectory(scratch.path());
    capture.addSink(&sink);
    for (int restart = 0; restart < 20; ++restart) {
        const int before = sink.delivered_.load();
        ASSERT_TRUE(capture.initialise("File", restart % 2 == 0 ? "a.ppm@500" : "b.ppm@500"));
        // Restarted while the last run's thread is likely inside the sink.
        ASSERT_TRUE(
            testwait::waitUntil([&] { return sink.delivered_.load() > before && sink.inside_.load() > 0; },
                                std::chrono::seconds(5), std::chrono::milliseconds(1)));
    }
    capture.stopAndWait();
    EXPECT_FALSE(sink.overlapped_.load());
}

TEST(VideoDevices, OperatorFoldersOpenRecordingsOutsideThePlayersFolders) {
    ScratchDirectory scratch;
    ScratchDirectory elsewhere;
    writeFrame(elsewhere.path() + "desk.ppm", 8, 4, 10, 20, 30);
    const std::string absolute = elsewhere.path() + "desk.ppm";
    unsetenv(FileVideoDevice::RecordingsVariable);
    std::string why;
    EXPECT_FALSE(createVideoDevice("File", absolute + "@10", scratch.path(), nullptr, &why));
    EXPECT_NE(why.find("is outside the player's folder and work directory"), std::string::npos) << why;

    // Named by the operator: absolute paths inside the folder, and names relative to it.
    const std::string folders = "relative/ignored:" + elsewhere.path();
    setenv(FileVideoDevice::RecordingsVariable, folders.c_str(), 1);
    EXPECT_TRUE(createVideoDevice("File", absolute + "@10", scratch.path()));
    EXPECT_TRUE(createVideoDevice("File", "desk.ppm", scratch.path()));
    // Still nothing out of it, and a missing file is said to be missing.
    EXPECT_FALSE(createVideoDevice("File", elsewhere.path() + "../etc/hostname", scratch.path()));
    EXPECT_FALSE(createVideoDevice("File", "gone.ppm", scratch.path(), nullptr, &why));
    EXPECT_EQ(why, "no recording at 'gone.ppm'");
    unsetenv(FileVideoDevice::RecordingsVariable);
}

TEST(VelVideoCapture, StatusTellsWhatRunsAndWhyNotWithoutItsLock) {
    ScratchDirectory scratch;
    writeFrame(scratch.path() + "still.ppm", 16, 8, 1, 2, 3);
    VelVideoCapture capture;
    capture.setWorkDirectory(scratch.path());
    EXPECT_FALSE(capture.initialise("V4L2", "/dev/video97"));
    VelVideoCapture::Status status = capture.status();
    EXPECT_FALSE(status.capturing);
    EXPECT_EQ(status.failure, "V4L2 \"/dev/video97\": cannot open /dev/video97: No such file or directory");

    // One frame a second: the capture thread spends its time waiting on the device, and stop
    // still returns at once.
    RecordingSink sink;
    capture.addSink(&sink);
    ASSERT_TRUE(capture.initialise("File", "still.ppm@1"));
    ASSERT_TRUE(sink.waitFor(1));
    status = capture.status();
    EXPECT_TRUE(status.capturing);
    EXPECT_FALSE(status.lost);
    EXPECT_EQ(status.device, "File 16x8");
    EXPECT_TRUE(status.failure.empty());
    EXPECT_GE(status.frames, 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto before = std::chrono::steady_clock::now();
    capture.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(200));
    EXPECT_FALSE(capture.status().capturing);
    EXPECT_EQ(capture.status().device, "");
}

TEST(VelVideoCapture, AnUnpluggedCameraFreezesIsReportedLostAndComesBack) {
    FakeV4L2Kernel kernel;
    kernel.plug("/dev/video0", webcam("Desk Camera"));
    RecordingSink sink;
    VelVideoCapture capture;
    capture.setKernel(&kernel);
    capture.addSink(&sink);
    ASSERT_TRUE(capture.initialise("V4L2", "/dev/video0 640x480"));
    EXPECT_EQ(capture.status().device, "V4L2 /dev/video0 640x480 YUYV @30");
    kernel.serve("/dev/video0", yuyvFrame(640, 480));
    ASSERT_TRUE(sink.waitFor(1));
    EXPECT_EQ(sink.deliveries().front().width, 640);

    auto within = [](int milliseconds, const std::function<bool()>& condition) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!condition() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    };
    kernel.unplug("/dev/video0");
    EXPECT_TRUE(within(2000, [&] { return capture.status().lost; }));
    EXPECT_TRUE(capture.isCapturing()); // the picture freezes; the splash does not come back
    EXPECT_EQ(sink.count(), 1u);

    // The same camera at another node, found within the second it waits between looks.
    kernel.plug("/dev/video2", webcam("Desk Camera"));
    EXPECT_TRUE(within(3000, [&] { return !capture.status().lost; }));
    kernel.serve("/dev/video2", yuyvFrame(640, 480));
    EXPECT_TRUE(sink.waitFor(2));

    const auto before = std::chrono::steady_clock::now();
    capture.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(200));
    EXPECT_EQ(kernel.openHandles(), 0);
}
