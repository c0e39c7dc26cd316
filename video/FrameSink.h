#pragma once

// Receives every camera frame. Called on the capture thread, without the capture lock, and
// never by two threads at once: the thread of a run that is ending finishes its delivery before
// the next run's thread delivers.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // pixels: height rows of width pixels in the layout given by the pixel-format code
    // (1 BGR, 2 ABGR, 3 RGB, 4 ARGB; 0 unknown). Only valid during the call.
    virtual void frame(const unsigned char* pixels, int width, int height, unsigned format) = 0;
};
