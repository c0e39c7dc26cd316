// The Video4Linux2 camera through a scripted kernel: both layouts, refusals, EAGAIN, a camera
// unplugged and plugged back, and the camera list.
#include "platform/enginelog.h"
#include "video/FakeV4L2Kernel.h"
#include "video/V4L2VideoDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <jpeglib.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A JPEG of one colour, as a camera sends it in Motion JPEG.
std::string jpegFrame(int width, int height, unsigned char r, unsigned char g, unsigned char b) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[x * 3] = r;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = b;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<char*>(out), size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

// The frame without its Huffman tables (DHT segments), as many cameras send Motion JPEG.
std::string withoutHuffmanTables(const std::string& jpeg) {
    std::string out = jpeg.substr(0, 2);
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
        const unsigned char marker = static_cast<unsigned char>(jpeg[at + 1]);
        if (marker == 0xDA) { // start of scan: the rest is picture data
            out += jpeg.substr(at);
            return out;
        }
        const std::size_t length =
            (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
        if (marker != 0xC4) {
            out += jpeg.substr(at, length + 2);
        }
        at += length + 2;
    }
    return out;
}

// Grabs until a frame comes or the time is up.
bool grabWithin(V4L2VideoDevice& device, int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < end) {
        if (device.grab()) {
            return true;
        }
        device.waitForFrame(5);
    }
    return false;
}

} // namespace

TEST(V4L2Camera, StreamsYuyvAtTheAskedSizeTurnedAndWidened) {
    FakeV4L2Kernel kernel;
    kernel.plug("/dev/video0", webcam());
    V4L2VideoDevice device("/dev/video0 640x480@30", kernel);
    ASSERT_TRUE(device.isValid());
    EXPECT_EQ(device.cameraFormat(), V4L2_PIX_FMT_YUYV); // no decoding when the size is offered raw
    EXPECT_EQ(device.width(), 640);
    EXPECT_EQ(device.cardName(), "Fake Camera");
    EXPECT_EQ(device.describe(), "/dev/video0 640x480 YUYV @30");
    EXPECT_FALSE(device.grab()); // nothing served yet: EAGAIN

    kernel.serve("/dev/video0", yuyvFrame(640, 480));
    ASSERT_TRUE(grabWithin(device, 1000));
    const unsigned char* pixels = device.currentBuffer();
    // Turned by 180 degrees: the black first pixels come last.
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[2], 255);
    EXPECT_EQ(pixels[3], 255);
    const unsigned char* last = pixels + device.frameSize() - 4;
    EXPECT_EQ(last[0], 0);
    EXPECT_EQ(last[1], 0);
    EXPECT_EQ(last[2], 0);
    EXPECT_EQ(last[3], 255);
}

TEST(V4L2Camera, TakesMotionJpegForSizesOnlyItGivesFastAndKeepsTheNewestFrame) {
    FakeV4L2Kernel kernel;
    kernel.plug("/dev/video0", webcam());
    // YUYV has 1280x720 at 10 fps only: Motion JPEG gives the 30 asked for.
    V4L2VideoDevice device("1280x720@30", kernel);
    ASSERT_TRUE(device.isValid());
    EXPECT_EQ(device.cameraFormat(), V4L2_PIX_FMT_MJPEG);
    EXPECT_EQ(device.width(), 1280);
    EXPECT_EQ(device.height(), 720);

    kernel.serve("/dev/video0", jpegFrame(1280, 720, 0, 0, 250));
    kernel.serve("/dev/video0", jpegFrame(1280, 720, 250, 0, 0));
    ASSERT_TRUE(grabWithin(device, 1000));
    const unsigned char* pixel = device.currentBuffer() + 4 * (640 + 360 * 1280);
    EXPECT_LT(pixel[0], 20); // blue
    EXPECT_LT(pixel[1], 20);
    EXPECT_GT(pixel[2], 230); // red: the newer frame
    EXPECT_FALSE(device.grab());

    // Without Huffman tables the standard ones are used.
    const std::string bare = withoutHuffmanTables(jpegFrame(1280, 720, 0, 250, 0));
    ASSERT_EQ(bare.find("\xFF\xC4"), std::string::npos);
    kernel.serve("/dev/video0", bare);
    ASSERT_TRUE(grabWithin(device, 1000));
    EXPECT_GT(device.currentBuffer()[1], 230); // green

    // A damaged frame is no frame, and the stream goes on.
    kernel.serve("/dev/video0", "not a jpeg");
    EXPECT_FALSE(grabWithin(device, 50));
    kernel.serve("/dev/video0", jpegFrame(1280, 720, 0, 250, 0));
    EXPECT_TRUE(grabWithin(device, 1000));
}

TEST(V4L2Camera, RefusedFormatsFallBackOrFailWithTheirReason) {
    FakeV4L2Kernel kernel;
    FakeCamera picky = webcam();
    picky.refused = {V4L2_PIX_FMT_YUYV};
    kernel.plug("/dev/video0", picky);
    V4L2VideoDevice fallback("640x480", kernel);
    ASSERT_TRUE(fallback.isValid());
    EXPECT_EQ(fallback.cameraFormat(), V4L2_PIX_FMT_MJPEG);

    FakeCamera stubborn = webcam("Stubborn");
    stubborn.refused = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG};
    kernel.plug("/dev/video1", stubborn);
    V4L2VideoDevice refused("/dev/video1", kernel);
    EXPECT_FALSE(refused.isValid());
    const std::string reason = refused.failure();
    EXPECT_NE(reason.find("offers no YUYV or Motion JPEG"), std::string::npos) << reason;
    EXPECT_NE(reason.find("Invalid argument"), std::string::npos) << reason;

    FakeCamera grey;
    grey.formats = {{V4L2_PIX_FMT_GREY, {{640, 480, {30}}}}};
    kernel.plug("/dev/video2", grey);
    V4L2VideoDevice greyOnly("/dev/video2", kernel);
    EXPECT_FALSE(greyOnly.isValid());
    EXPECT_NE(greyOnly.failure().find("GREY"), std::string::npos);

    V4L2VideoDevice absent("/dev/video7", kernel);
    EXPECT_FALSE(absent.isValid());
    EXPECT_EQ(absent.failure(), "cannot open /dev/video7: No such file or directory");
    FakeCamera metadata = webcam();
    metadata.captures = false;
    kernel.plug("/dev/video3", metadata);
    V4L2VideoDevice notStreaming("/dev/video3", kernel);
    EXPECT_FALSE(notStreaming.isValid());
    EXPECT_EQ(notStreaming.failure(), "/dev/video3 is not a camera that streams video");
    EXPECT_EQ(kernel.openHandles(), 1); // only the fallback camera stays open
}

TEST(V4L2Camera, EagainIsNoFrameYet) {
    FakeV4L2Kernel kernel;
    kernel.plug("/dev/video0", webcam());
    V4L2VideoDevice device("", kernel);
    ASSERT_TRUE(device.isValid());
    kernel.serve("/dev/video0", yuyvFrame(640, 480));
    kernel.answerEagain(2);
    EXPECT_FALSE(device.grab());
    EXPECT_FALSE(device.grab());
    EXPECT_TRUE(device.grab());
    EXPECT_FALSE(device.isLost());
}

TEST(V4L2Camera, UnpluggedCameraIsLostThenFoundAgainByItsCardName) {
    FakeV4L2Kernel kernel;
    kernel.plug("/dev/video0", webcam("Desk Camera"));
    V4L2VideoDevice device("/dev/video0 640x480", kernel);
    ASSERT_TRUE(device.isValid());
    device.setRetryPeriod(std::chrono::milliseconds(20));
    kernel.serve("/dev/video0", yuyvFrame(640, 480));
    ASSERT_TRUE(grabWithin(device, 1000));

    kernel.unplug("/dev/video0");
    EXPECT_FALSE(device.grab()); // ENODEV
    EXPECT_TRUE(device.isLost());
    EXPECT_EQ(kernel.openHandles(), 0);
    EXPECT_EQ(device.width(), 640); // the capture keeps its buffers' size

    // Another camera appears: not ours.
    kernel.plug("/dev/video0", webcam("Other Camera"));
    EXPECT_FALSE(grabWithin(device, 100));
    EXPECT_TRUE(device.isLost());
    EXPECT_EQ(kernel.openHandles(), 0);

    // Ours comes back at another node.
    kernel.plug("/dev/video1", webcam("Desk Camera"));
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (device.isLost() && Clock::now() < deadline) {
        device.grab();
        device.waitForFrame(5);
    }
    ASSERT_FALSE(device.isLost());
    EXPECT_EQ(device.describe(), "/dev/video1 640x480 YUYV @30");
    kernel.serve("/dev/video1", yuyvFrame(640, 480));
    EXPECT_TRUE(grabWithin(device, 1000));
}

TEST(V4L2Camera, InterruptEndsAWaitAtOnce) {
    FakeV4L2Kernel kernel;
    kernel.plug("/dev/video0", webcam());
    V4L2VideoDevice device("", kernel);
    ASSERT_TRUE(device.isValid());
    std::thread waker([&device] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the wait below is under way
        device.interrupt();
    });
    const auto start = Clock::now();
    for (int i = 0; i < 100 && Clock::now() - start < std::chrono::seconds(3); ++i) {
        device.waitForFrame(1000);
    }
    waker.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(V4L2Camera, ListsEveryCameraWithTheTextThatSelectsEachSize) {
    FakeV4L2Kernel kernel;
    EXPECT_EQ(V4L2VideoDevice::listCameras(kernel), "No camera found (looked at /dev/video*).\n");
    kernel.plug("/dev/video0", webcam("Desk Camera"));
    FakeCamera metadata = webcam("Desk Camera");
    metadata.captures = false;
    kernel.plug("/dev/video1", metadata);
    const std::string list = V4L2VideoDevice::listCameras(kernel);
    EXPECT_EQ(list, "/dev/video0: \"Desk Camera\"\n"
                    "  YUYV 640x480 at 30, 15 fps: \"/dev/video0 640x480@30\"\n"
                    "  YUYV 1280x720 at 10 fps: \"/dev/video0 1280x720@10\"\n"
                    "  MJPEG 640x480 at 30 fps: (\"/dev/video0 640x480@30\" takes YUYV)\n"
                    "  MJPEG 1280x720 at 30, 15 fps: \"/dev/video0 1280x720@30\"\n");
    EXPECT_EQ(kernel.openHandles(), 0);
}
