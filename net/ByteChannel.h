#pragma once

// Raw bytes of one connection, for file transfer. Used by the connection's own thread only.
class ByteChannel {
public:
    virtual ~ByteChannel() = default;
    virtual bool isOpen() = 0;
    // Up to maximum bytes: first those already received with the sentence line, then one
    // receive. 0 when the peer has closed, negative on error.
    virtual long readBytes(char* destination, long maximum) = 0;
    // One send of the bytes; returns the count sent (nobody checks it).
    virtual long writeBytes(const char* data, long length) = 0;
};
