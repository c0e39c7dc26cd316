#include "video/FrameConversion.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <linux/videodev2.h>

#include <jpeglib.h>

namespace {

unsigned char clamp(int value) {
    return static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Y, U, Y, V (4:2:2, BT.601 studio range) to B, G, R, A, last pixel first.
bool fromYuyv(const unsigned char* frame, std::size_t bytes, int width, int height, unsigned char* out) {
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    if (width % 2 != 0 || bytes < pixels * 2) {
        return false;
    }
    unsigned char* to = out + pixels * 4;
    for (std::size_t pair = 0; pair < pixels / 2; ++pair, frame += 4) {
        const int d = frame[1] - 128;
        const int e = frame[3] - 128;
        const int blue = 516 * d + 128;
        const int green = -100 * d - 208 * e + 128;
        const int red = 409 * e + 128;
        for (int i = 0; i < 2; ++i) {
            const int c = 298 * (frame[i * 2] - 16);
            to -= 4;
            to[0] = clamp((c + blue) >> 8);
            to[1] = clamp((c + green) >> 8);
            to[2] = clamp((c + red) >> 8);
            to[3] = 0xFF;
        }
    }
    return true;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf escape;
};

void leave(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->escape, 1);
}

void quiet(j_common_ptr, int) {}

struct JpegJob {
    const unsigned char* frame;
    std::size_t bytes;
    int width;
    int height;
    unsigned char* out;
};

// Reads the picture of info's job into its rows; false when it has another size. May leave
// through longjmp on a decoding error.
bool decodeRows(jpeg_decompress_struct* info) {
    const JpegJob& job = *static_cast<const JpegJob*>(info->client_data);
    jpeg_mem_src(info, job.frame, static_cast<unsigned long>(job.bytes));
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    info->out_color_space = JCS_EXT_BGRA;
    info->dct_method = JDCT_IFAST;
    jpeg_start_decompress(info);
    if (static_cast<int>(info->output_width) != job.width ||
        static_cast<int>(info->output_height) != job.height) {
        return false;
    }
    const std::size_t stride = static_cast<std::size_t>(job.width) * 4;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = job.out + stride * info->output_scanline;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

// Motion JPEG through libjpeg-turbo, decoded straight into B, G, R, A rows; cameras often leave
// the Huffman tables out of their frames, and libjpeg-turbo supplies the standard ones then.
// Nothing here lives across the longjmp of a decoding error but the decoder itself.
bool decodeJpeg(JpegJob& job) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = leave;
    error.manager.emit_message = quiet;
    jpeg_create_decompress(&info);
    info.client_data = &job;
    if (setjmp(error.escape) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const bool decoded = decodeRows(&info);
    jpeg_destroy_decompress(&info);
    return decoded;
}

bool fromMjpeg(const unsigned char* frame, std::size_t bytes, int width, int height, unsigned char* out) {
    JpegJob job{frame, bytes, width, height, out};
    if (!decodeJpeg(job)) {
        return false;
    }
    // Turned by 180 degrees: the pixels in reverse order.
    unsigned char* front = out;
    unsigned char* back = out + static_cast<std::size_t>(width) * height * 4 - 4;
    for (; front < back; front += 4, back -= 4) {
        unsigned char pixel[4];
        std::memcpy(pixel, front, 4);
        std::memcpy(front, back, 4);
        std::memcpy(back, pixel, 4);
    }
    return true;
}

} // namespace

namespace FrameConversion {

bool isSupported(std::uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG;
}

bool convert(std::uint32_t fourcc, const unsigned char* frame, std::size_t bytes, int width, int height,
             unsigned char* destination) {
    if (frame == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
        return fromYuyv(frame, bytes, width, height, destination);
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return fromMjpeg(frame, bytes, width, height, destination);
    default:
        return false;
    }
}

} // namespace FrameConversion
