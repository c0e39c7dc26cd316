#include "zip/ZipWriter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t PieceSize = 64 * 1024;
constexpr size_t MaxNameLength = 259;
constexpr uint16_t VersionMadeBy = 0x0B17;
constexpr uint16_t VersionNeeded = 20;
constexpr uint16_t LocalExtraLength = 17;
constexpr uint16_t CentralExtraLength = 9;
constexpr uint16_t SizesFollowFlag = 8;
constexpr uint16_t MaximumCompressionFlag = 2;
constexpr int DeflateLevel = 8; // zlib's level 8: good 32, lazy 128, nice 258, chain 1024

thread_local uint32_t lastResult = ZipResult::Ok;

uint32_t report(uint32_t code) {
    lastResult = code;
    return code;
}

// Little-endian field writer over a byte vector.
class Fields {
public:
    void u16(uint32_t value) {
        bytes_.push_back(static_cast<unsigned char>(value));
        bytes_.push_back(static_cast<unsigned char>(value >> 8));
    }
    void u32(uint32_t value) {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }
    void raw(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    void signature(unsigned char third, unsigned char fourth) {
        bytes_.push_back(0x50);
        bytes_.push_back(0x4B);
        bytes_.push_back(third);
        bytes_.push_back(fourth);
    }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

bool isStoredExtension(const std::string& name) {
    static const char* const stored[] = {".z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
    const std::string::size_type dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(std::begin(stored), std::end(stored), extension) != std::end(stored);
}

// DOS time and date of a moment, taken in UTC as the file system stores it. Moments outside
// the range DOS can express are clamped to its ends.
void dosTimeOf(time_t moment, uint16_t& dosTime, uint16_t& dosDate) {
    std::tm parts{};
    gmtime_r(&moment, &parts);
    int year = parts.tm_year + 1900;
    if (year < 1980) {
        dosTime = 0;
        dosDate = (1 << 5) | 1;
        return;
    }
    if (year > 2107) {
        dosTime = (23 << 11) | (59 << 5) | 29;
        dosDate = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
        return;
    }
    dosTime = static_cast<uint16_t>(parts.tm_hour * 2048 + parts.tm_min * 32 + parts.tm_sec / 2);
    dosDate = static_cast<uint16_t>((year - 1980) * 512 + (parts.tm_mon + 1) * 32 + parts.tm_mday);
}

// On Linux a file is "read-only" when its owner lacks write permission.
uint32_t externalAttributesOf(const struct stat& info) {
    const bool readOnly = (info.st_mode & S_IWUSR) == 0;
    uint32_t system = readOnly ? 0x01 : 0x00;
    uint32_t unixMode = S_ISDIR(info.st_mode) ? 0x4000 : 0x8000;
    if (S_ISDIR(info.st_mode)) {
        system |= 0x10;
    }
    unixMode |= readOnly ? 0x100 : 0x180;
    return (unixMode << 16) | (system & 0x37);
}

// Creation time where the file system records one, else the last status change.
time_t creationTimeOf(int fd, const struct stat& info) {
#ifdef STATX_BTIME
    struct statx extended {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &extended) == 0 && (extended.stx_mask & STATX_BTIME) != 0) {
        return static_cast<time_t>(extended.stx_btime.tv_sec);
    }
#else
    (void)fd;
#endif
    return info.st_ctime;
}

} // namespace

ZipWriter::ZipWriter(int fd) : fd_(fd) {
    out_.reserve(2 * PieceSize);
    in_.resize(PieceSize);
}

ZipWriter::~ZipWriter() {
    if (deflaterReady_) {
        deflateEnd(&deflater_);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::unique_ptr<ZipHandle> ZipWriter::create(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        report(ZipResult::CannotOpen);
        return nullptr;
    }
    auto handle = std::make_unique<ZipHandle>();
    handle->writer.reset(new ZipWriter(fd));
    report(ZipResult::Ok);
    return handle;
}

uint32_t ZipWriter::addFile(ZipHandle* handle, const std::string& name, const std::string& source) {
    if (handle == nullptr || !handle->writer || source.empty()) {
        return report(ZipResult::BadArgument);
    }
    if (handle->mode != ZipHandle::Writing) {
        return report(ZipResult::NotWriting);
    }
    return report(handle->writer->add(name, source));
}

uint32_t ZipWriter::close(std::unique_ptr<ZipHandle>& handle) {
    if (!handle) {
        return report(ZipResult::BadArgument);
    }
    uint32_t code = ZipResult::NotWriting;
    if (handle->mode == ZipHandle::Writing && handle->writer) {
        code = handle->writer->finish();
    }
    handle.reset();
    return report(code);
}

uint32_t ZipWriter::lastError() {
    return lastResult;
}

uint32_t ZipWriter::latch(uint32_t code) {
    if (latched_ == 0) {
        latched_ = code;
    }
    return code;
}

bool ZipWriter::put(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    out_.insert(out_.end(), bytes, bytes + size);
    offset_ += size;
    return out_.size() < PieceSize || flush();
}

bool ZipWriter::flush() {
    size_t done = 0;
    while (done < out_.size()) {
        ssize_t written = ::write(fd_, out_.data() + done, out_.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            out_.clear();
            return false;
        }
        done += static_cast<size_t>(written);
    }
    out_.clear();
    return true;
}

uint32_t ZipWriter::add(const std::string& name, const std::string& source) {
    if (latched_ != 0) {
        return ZipResult::WriteLatched;
    }
    if (closed_) {
        return ZipResult::Closed;
    }
    if (name.empty()) {
        return ZipResult::BadArgument;
    }

    Entry entry;
    entry.name = name.substr(0, MaxNameLength);
    std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
    const bool stored = isStoredExtension(entry.name);
    entry.method = stored ? 0 : 8;

    int sourceFd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (sourceFd < 0) {
        return ZipResult::CannotOpen;
    }
    struct stat info {};
    // The 32-bit size and offset fields cannot describe 4 GiB or more: refuse instead of
    // writing an entry that no reader could trust.
    if (::fstat(sourceFd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > 0xFFFFFFFFLL ||
        offset_ > 0xFFFFFFFFULL) {
        ::close(sourceFd);
        return ZipResult::CannotOpen;
    }
    entry.uncompressedSize = static_cast<uint32_t>(info.st_size);
    entry.externalAttributes = externalAttributesOf(info);
    dosTimeOf(info.st_mtime, entry.dosTime, entry.dosDate);
    entry.modified = static_cast<uint32_t>(info.st_mtime);
    const uint32_t accessed = static_cast<uint32_t>(info.st_atime);
    const uint32_t created = static_cast<uint32_t>(creationTimeOf(sourceFd, info));
    entry.headerOffset = static_cast<uint32_t>(offset_);

    auto localHeader = [&](uint16_t flags, uint32_t crc, uint32_t compressed) {
        Fields header;
        header.signature(0x03, 0x04);
        header.u16(VersionNeeded);
        header.u16(flags);
        header.u16(entry.method);
        header.u16(entry.dosTime);
        header.u16(entry.dosDate);
        header.u32(crc);
        header.u32(compressed);
        header.u32(entry.uncompressedSize);
        header.u16(static_cast<uint32_t>(entry.name.size()));
        header.u16(LocalExtraLength);
        return header;
    };

    Fields first = localHeader(SizesFollowFlag, 0, stored ? entry.uncompressedSize : 0);
    first.raw(entry.name);
    first.raw("UT");
    first.u16(13);
    first.raw(std::string(1, '\x07'));
    first.u32(entry.modified);
    first.u32(accessed);
    first.u32(created);
    if (!put(first.bytes().data(), first.bytes().size())) {
        ::close(sourceFd);
        return latch(ZipResult::WriteFailed);
    }

    const uint32_t dataResult = writeData(sourceFd, entry);
    ::close(sourceFd);
    if (dataResult != ZipResult::Ok) {
        return latch(dataResult);
    }

    // The sizes are known now: rewrite the fixed part of the local header in place.
    entry.flags = stored ? 0 : MaximumCompressionFlag;
    Fields final = localHeader(entry.flags, entry.crc, entry.compressedSize);
    if (!flush()) {
        return latch(ZipResult::WriteFailed);
    }
    if (::lseek(fd_, static_cast<off_t>(entry.headerOffset), SEEK_SET) < 0) {
        return latch(ZipResult::SeekFailed);
    }
    if (::write(fd_, final.bytes().data(), final.bytes().size()) !=
        static_cast<ssize_t>(final.bytes().size())) {
        return latch(ZipResult::WriteFailed);
    }
    if (::lseek(fd_, static_cast<off_t>(offset_), SEEK_SET) < 0) {
        return latch(ZipResult::SeekFailed);
    }
    entries_.push_back(std::move(entry));
    return ZipResult::Ok;
}

// Streams the source into the archive, stored or deflated, computing the CRC and the sizes
// from the bytes actually read (a file that changes while it is read still gives a
// consistent entry).
uint32_t ZipWriter::writeData(int sourceFd, Entry& entry) {
    const bool deflating = entry.method == 8;
    if (deflating) {
        if (!deflaterReady_) {
            if (deflateInit2(&deflater_, DeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
                Z_OK) {
                return ZipResult::Compressor;
            }
            deflaterReady_ = true;
        } else if (deflateReset(&deflater_) != Z_OK) {
            return ZipResult::Compressor;
        }
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t readTotal = 0;
    uint64_t written = 0;
    bool end = false;
    unsigned char chunk[PieceSize];
    while (!end) {
        ssize_t got = ::read(sourceFd, in_.data(), in_.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || readTotal + static_cast<uint64_t>(got) > 0xFFFFFFFFULL) {
            got = 0;
            end = true;
        }
        readTotal += static_cast<uint64_t>(got);
        crc = crc32(crc, in_.data(), static_cast<uInt>(got));
        if (!deflating) {
            if (got > 0 && !put(in_.data(), static_cast<size_t>(got))) {
                return ZipResult::WriteFailed;
            }
            written += static_cast<uint64_t>(got);
            continue;
        }
        deflater_.next_in = in_.data();
        deflater_.avail_in = static_cast<uInt>(got);
        const int flushMode = end ? Z_FINISH : Z_NO_FLUSH;
        int status = Z_OK;
        do {
            deflater_.next_out = chunk;
            deflater_.avail_out = sizeof chunk;
            status = deflate(&deflater_, flushMode);
            if (status == Z_STREAM_ERROR) {
                return ZipResult::Compressor;
            }
            const size_t produced = sizeof chunk - deflater_.avail_out;
            if (produced > 0 && !put(chunk, produced)) {
                return ZipResult::WriteFailed;
            }
            written += produced;
        } while (deflater_.avail_out == 0 || (end && status != Z_STREAM_END));
    }
    if (written > 0xFFFFFFFFULL) {
        return ZipResult::WriteFailed;
    }
    entry.crc = static_cast<uint32_t>(crc);
    entry.uncompressedSize = static_cast<uint32_t>(readTotal);
    entry.compressedSize = static_cast<uint32_t>(written);
    return ZipResult::Ok;
}

uint32_t ZipWriter::finish() {
    if (closed_) {
        return ZipResult::Closed;
    }
    uint32_t result = ZipResult::Ok;
    const uint64_t directoryOffset = offset_;
    bool allWritten = true;
    for (const Entry& entry : entries_) {
        Fields header;
        header.signature(0x01, 0x02);
        header.u16(VersionMadeBy);
        header.u16(VersionNeeded);
        header.u16(entry.flags);
        header.u16(entry.method);
        header.u16(entry.dosTime);
        header.u16(entry.dosDate);
        header.u32(entry.crc);
        header.u32(entry.compressedSize);
        header.u32(entry.uncompressedSize);
        header.u16(static_cast<uint32_t>(entry.name.size()));
        header.u16(CentralExtraLength);
        header.u16(0); // comment
        header.u16(0); // disk number
        header.u16(0); // internal attributes
        header.u32(entry.externalAttributes);
        header.u32(entry.headerOffset);
        header.raw(entry.name);
        header.raw("UT");
        header.u16(5);
        header.raw(std::string(1, '\x07'));
        header.u32(entry.modified);
        if (!put(header.bytes().data(), header.bytes().size())) {
            allWritten = false;
            break;
        }
    }
    if (allWritten) {
        const uint64_t directorySize = offset_ - directoryOffset;
        Fields end;
        end.signature(0x05, 0x06);
        end.u16(0);
        end.u16(0);
        end.u16(static_cast<uint32_t>(entries_.size()));
        end.u16(static_cast<uint32_t>(entries_.size()));
        end.u32(static_cast<uint32_t>(directorySize));
        end.u32(static_cast<uint32_t>(directoryOffset));
        end.u16(0);
        allWritten = put(end.bytes().data(), end.bytes().size()) && flush();
    }
    if (!allWritten || latched_ != 0) {
        result = ZipResult::WriteFailed;
    }
    entries_.clear();
    if (::close(fd_) != 0 && result == ZipResult::Ok) {
        result = ZipResult::WriteFailed;
    }
    fd_ = -1;
    closed_ = true;
    return result;
}
