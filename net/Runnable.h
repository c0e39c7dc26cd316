#pragma once

// Work for a thread of its own (VelOS::Thread).
class Runnable {
public:
    virtual ~Runnable() = default;
    virtual void run() = 0;
};
