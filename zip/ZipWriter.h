#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

// Result codes of the ZIP writer. archiveFiles ignores them; tests and tools read them.
namespace ZipResult {
constexpr uint32_t Ok = 0;
constexpr uint32_t BadArgument = 0x10000;   // no handle, empty name, no source
constexpr uint32_t NotWriting = 0x80000;    // handle not open for writing
constexpr uint32_t WriteLatched = 0x40000;  // an earlier write failed; no more entries
constexpr uint32_t Closed = 0x50000;        // the archive is already closed
constexpr uint32_t CannotOpen = 0x200;      // archive not creatable, or source not readable or too big
constexpr uint32_t WriteFailed = 0x400;     // writing failed
constexpr uint32_t AlreadyOpen = 0x1000000; // the writer is already open, or it has no output
constexpr uint32_t SeekFailed = 0x2000000;  // seeking in the output failed
constexpr uint32_t Compressor = 0x5000000;  // the compressor reported an error
} // namespace ZipResult

class ZipWriter;

// What create hands out: mode 2 means open for writing.
struct ZipHandle {
    static constexpr int Writing = 2;
    int mode = Writing;
    std::unique_ptr<ZipWriter> writer;
};

// Writes a new ZIP archive: each added file becomes one entry, deflated (raw deflate, level 8)
// or stored, followed at close by the central directory and the end record. Entries are kept
// in memory until close; the data streams through a 32 KiB window in pieces of 64 KiB.
//
// One writer is used by one thread at a time. Every call sets the calling thread's last error
// to its result.
class ZipWriter {
public:
    // Creates or truncates the archive file. Nothing on failure (last error 0x200).
    static std::unique_ptr<ZipHandle> create(const std::string& path);
    // Adds the file at source under name ("\" turned into "/", at most 259 bytes).
    static uint32_t addFile(ZipHandle* handle, const std::string& name, const std::string& source);
    // Writes the central directory and the end record and closes the file. The handle is
    // released in every case.
    static uint32_t close(std::unique_ptr<ZipHandle>& handle);
    // The result of the calling thread's last call.
    static uint32_t lastError();

    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

private:
    // One finished entry, kept for the central directory.
    struct Entry {
        uint16_t flags = 0;   // 2 deflated (maximum compression), 0 stored
        uint16_t method = 0;  // 8 deflate, 0 stored
        uint16_t dosTime = 0; // of the last write, UTC
        uint16_t dosDate = 0;
        uint32_t crc = 0; // of the uncompressed data
        uint32_t compressedSize = 0;
        uint32_t uncompressedSize = 0;
        uint32_t externalAttributes = 0;
        uint32_t headerOffset = 0; // of the local header from the start of the file
        uint32_t modified = 0;     // seconds since 1970, for the central extra field
        std::string name;
    };

    explicit ZipWriter(int fd);
    uint32_t add(const std::string& name, const std::string& source);
    uint32_t finish();
    uint32_t writeData(int sourceFd, Entry& entry);
    bool put(const void* data, size_t size);
    bool flush();
    uint32_t latch(uint32_t code);

    int fd_;               // the output file; -1 once closed
    uint64_t offset_ = 0;  // current write offset
    uint32_t latched_ = 0; // 0 until a write fails
    bool closed_ = false;
    std::vector<Entry> entries_;
    std::vector<unsigned char> out_; // pending output bytes
    std::vector<unsigned char> in_;  // one piece of source data
    z_stream deflater_{};
    bool deflaterReady_ = false;
};
