#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <zlib.h>

// A strict little reader of the archives the writer makes, for checking them field by field.
struct ZipEntryView {
    uint16_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0, dosTime = 0, dosDate = 0;
    uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0, externalAttributes = 0, headerOffset = 0;
    uint16_t centralExtraLength = 0, commentLength = 0, diskNumber = 0, internalAttributes = 0;
    std::string name, centralExtra;
    // From the local header:
    uint16_t localFlags = 0, localMethod = 0, localExtraLength = 0;
    uint32_t localCrc = 0, localCompressedSize = 0, localUncompressedSize = 0;
    std::string localExtra, data;
};

struct ZipView {
    bool valid = false;
    uint16_t entriesOnDisk = 0, totalEntries = 0;
    uint32_t directorySize = 0, directoryOffset = 0;
    std::vector<ZipEntryView> entries;
};

inline uint32_t le16(const std::string& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
inline uint32_t le32(const std::string& b, size_t at) {
    return le16(b, at) | (le16(b, at + 2) << 16);
}

inline ZipView parseZip(const std::string& b) {
    ZipView view;
    if (b.size() < 22) {
        return view;
    }
    const size_t end = b.size() - 22;
    if (le32(b, end) != 0x06054b50) {
        return view;
    }
    view.entriesOnDisk = static_cast<uint16_t>(le16(b, end + 8));
    view.totalEntries = static_cast<uint16_t>(le16(b, end + 10));
    view.directorySize = le32(b, end + 12);
    view.directoryOffset = le32(b, end + 16);
    size_t at = view.directoryOffset;
    for (unsigned i = 0; i < view.totalEntries; ++i) {
        if (at + 46 > b.size() || le32(b, at) != 0x02014b50) {
            return view;
        }
        ZipEntryView e;
        e.versionMadeBy = static_cast<uint16_t>(le16(b, at + 4));
        e.versionNeeded = static_cast<uint16_t>(le16(b, at + 6));
        e.flags = static_cast<uint16_t>(le16(b, at + 8));
        e.method = static_cast<uint16_t>(le16(b, at + 10));
        e.dosTime = static_cast<uint16_t>(le16(b, at + 12));
        e.dosDate = static_cast<uint16_t>(le16(b, at + 14));
        e.crc = le32(b, at + 16);
        e.compressedSize = le32(b, at + 20);
        e.uncompressedSize = le32(b, at + 24);
        const uint32_t nameLength = le16(b, at + 28);
        e.centralExtraLength = static_cast<uint16_t>(le16(b, at + 30));
        e.commentLength = static_cast<uint16_t>(le16(b, at + 32));
        e.diskNumber = static_cast<uint16_t>(le16(b, at + 34));
        e.internalAttributes = static_cast<uint16_t>(le16(b, at + 36));
        e.externalAttributes = le32(b, at + 38);
        e.headerOffset = le32(b, at + 42);
        e.name = b.substr(at + 46, nameLength);
        e.centralExtra = b.substr(at + 46 + nameLength, e.centralExtraLength);
        at += 46 + nameLength + e.centralExtraLength + e.commentLength;

        const size_t local = e.headerOffset;
        if (local + 30 > b.size() || le32(b, local) != 0x04034b50) {
            return view;
        }
        e.localFlags = static_cast<uint16_t>(le16(b, local + 6));
        e.localMethod = static_cast<uint16_t>(le16(b, local + 8));
        e.localCrc = le32(b, local + 14);
        e.localCompressedSize = le32(b, local + 18);
        e.localUncompressedSize = le32(b, local + 22);
        const uint32_t localNameLength = le16(b, local + 26);
        e.localExtraLength = static_cast<uint16_t>(le16(b, local + 28));
        e.localExtra = b.substr(local + 30 + localNameLength, e.localExtraLength);
        e.data = b.substr(local + 30 + localNameLength + e.localExtraLength, e.compressedSize);
        view.entries.push_back(e);
    }
    view.valid = at == view.directoryOffset + view.directorySize && at == end;
    return view;
}

// The uncompressed bytes of an entry (raw inflate for method 8).
inline std::string unpackEntry(const ZipEntryView& e) {
    if (e.method == 0) {
        return e.data;
    }
    std::string out(e.uncompressedSize, '\0');
    z_stream s{};
    inflateInit2(&s, -MAX_WBITS);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(e.data.data()));
    s.avail_in = static_cast<uInt>(e.data.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[0]);
    s.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&s, Z_FINISH);
    const bool complete = status == Z_STREAM_END && s.avail_out == 0;
    inflateEnd(&s);
    return complete ? out : std::string("<inflate failed>");
}
