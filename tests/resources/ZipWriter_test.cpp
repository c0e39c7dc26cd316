#include "ZipReader.h"
#include "support/ScratchDirectory.h"
#include "zip/ZipWriter.h"

#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace {

// Sets a file's last-write (and last-access) time to a moment given in UTC.
void setModified(const std::string& path, int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    const time_t moment = timegm(&parts);
    struct timespec times[2] = {{moment, 0}, {moment, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator());
    }
    return bytes;
}

ZipView writeArchive(const ScratchDirectory& scratch,
                     const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string archive = scratch.path() + "test.zip";
    auto handle = ZipWriter::create(archive);
    EXPECT_TRUE(handle);
    for (const auto& [name, source] : files) {
        EXPECT_EQ(ZipWriter::addFile(handle.get(), name, source), ZipResult::Ok) << name;
    }
    EXPECT_EQ(ZipWriter::close(handle), ZipResult::Ok);
    EXPECT_FALSE(handle);
    return parseZip(readWholeFile(archive));
}

} // namespace

TEST(ZipWriter, EmptyArchiveIsTheEndRecordAlone) {
    ScratchDirectory scratch;
    const ZipView view = writeArchive(scratch, {});
    const std::string bytes = readWholeFile(scratch.path() + "test.zip");
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(bytes, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_TRUE(view.valid);
}

TEST(ZipWriter, WritesEveryHeaderFieldAsSpecified) {
    ScratchDirectory scratch;
    const std::string text = scratch.write("text.txt", std::string(5000, 'a') + "tail");
    setModified(text, 2024, 3, 15, 12, 34, 56);
    const ZipView view = writeArchive(scratch, {{"text.txt", text}});
    ASSERT_TRUE(view.valid);
    ASSERT_EQ(view.entries.size(), 1u);
    const ZipEntryView& e = view.entries[0];

    EXPECT_EQ(e.versionMadeBy, 0x0B17);
    EXPECT_EQ(e.versionNeeded, 20);
    EXPECT_EQ(e.flags, 2);
    EXPECT_EQ(e.localFlags, 2); // bit 3 cleared once the sizes were known
    EXPECT_EQ(e.method, 8);
    EXPECT_EQ(e.dosTime, 12 * 2048 + 34 * 32 + 28);
    EXPECT_EQ(e.dosDate, (2024 - 1980) * 512 + 3 * 32 + 15);
    EXPECT_EQ(e.uncompressedSize, 5004u);
    EXPECT_LT(e.compressedSize, 100u);
    EXPECT_EQ(e.localCrc, e.crc);
    EXPECT_EQ(e.localCompressedSize, e.compressedSize);
    EXPECT_EQ(e.localUncompressedSize, e.uncompressedSize);
    EXPECT_EQ(e.headerOffset, 0u);
    EXPECT_EQ(e.externalAttributes, (0x8180u << 16));
    EXPECT_EQ(e.commentLength, 0);
    EXPECT_EQ(e.diskNumber, 0);
    EXPECT_EQ(e.internalAttributes, 0);

    const std::string content = readWholeFile(text);
    EXPECT_EQ(unpackEntry(e), content);
    EXPECT_EQ(e.crc,
              crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));

    // Extended time stamps: "UT", 13 bytes of data locally, 5 in the central directory.
    // Both the last write and the last access were set to the same moment before archiving.
    struct stat info {};
    ASSERT_EQ(stat(text.c_str(), &info), 0);
    const uint32_t moment = static_cast<uint32_t>(info.st_mtime);
    ASSERT_EQ(e.localExtraLength, 17);
    EXPECT_EQ(e.localExtra.substr(0, 2), "UT");
    EXPECT_EQ(le16(e.localExtra, 2), 13u);
    EXPECT_EQ(e.localExtra[4], 7);
    EXPECT_EQ(le32(e.localExtra, 5), moment);
    EXPECT_EQ(le32(e.localExtra, 9), moment);
    ASSERT_EQ(e.centralExtraLength, 9);
    EXPECT_EQ(e.centralExtra.substr(0, 2), "UT");
    EXPECT_EQ(le16(e.centralExtra, 2), 5u);
    EXPECT_EQ(e.centralExtra[4], 7);
    EXPECT_EQ(le32(e.centralExtra, 5), moment);
}

TEST(ZipWriter, StoresAlreadyCompressedExtensionsOnly) {
    ScratchDirectory scratch;
    const std::string data = std::string(3000, 'z');
    const std::string upper = scratch.write("inner.ZIP", data);
    const std::string tgz = scratch.write("x.tgz", data);
    const std::string zipTxt = scratch.write("notes.zip.txt", data);
    const std::string noDot = scratch.write("README", data);
    const ZipView view = writeArchive(
        scratch, {{"inner.ZIP", upper}, {"x.tgz", tgz}, {"notes.zip.txt", zipTxt}, {"README", noDot}});
    ASSERT_TRUE(view.valid);
    ASSERT_EQ(view.entries.size(), 4u);
    for (int stored : {0, 1}) {
        const ZipEntryView& e = view.entries[stored];
        EXPECT_EQ(e.method, 0) << e.name;
        EXPECT_EQ(e.flags, 0) << e.name;
        EXPECT_EQ(e.compressedSize, 3000u) << e.name;
        EXPECT_EQ(e.data, data) << e.name;
    }
    for (int deflated : {2, 3}) {
        EXPECT_EQ(view.entries[deflated].method, 8) << view.entries[deflated].name;
        EXPECT_EQ(unpackEntry(view.entries[deflated]), data);
    }
    // Local headers follow one another in order, the central directory after the last.
    EXPECT_EQ(view.entries[1].headerOffset, 30 + 9 + 17 + 3000u);
}

TEST(ZipWriter, EmptyFileBackslashesAndReadOnlyAttributes) {
    ScratchDirectory scratch;
    const std::string empty = scratch.write("empty", "");
    const std::string locked = scratch.write("locked.txt", "read only");
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    const ZipView view = writeArchive(scratch, {{"dir\\sub\\empty", empty}, {"locked.txt", locked}});
    ASSERT_TRUE(view.valid);
    ASSERT_EQ(view.entries.size(), 2u);
    EXPECT_EQ(view.entries[0].name, "dir/sub/empty");
    EXPECT_EQ(view.entries[0].uncompressedSize, 0u);
    EXPECT_EQ(view.entries[0].crc, 0u);
    EXPECT_EQ(unpackEntry(view.entries[0]), "");
    EXPECT_EQ(view.entries[1].externalAttributes, (0x8100u << 16) | 0x01);
}

TEST(ZipWriter, LargeIncompressibleDataSurvivesAcrossManyPieces) {
    ScratchDirectory scratch;
    const std::string noise = randomBytes(300000, 7);
    const std::string mixed = randomBytes(70000, 8) + std::string(200000, 'm') + randomBytes(1000, 9);
    const ZipView view = writeArchive(scratch, {{"noise.png", scratch.write("noise.png", noise)},
                                                {"mixed.bin", scratch.write("mixed.bin", mixed)}});
    ASSERT_TRUE(view.valid);
    EXPECT_EQ(unpackEntry(view.entries[0]), noise);
    EXPECT_EQ(unpackEntry(view.entries[1]), mixed);
}

TEST(ZipWriter, NameIsCutAt259Bytes) {
    ScratchDirectory scratch;
    const ZipView view = writeArchive(scratch, {{std::string(300, 'n'), scratch.write("f", "x")}});
    ASSERT_EQ(view.entries.size(), 1u);
    EXPECT_EQ(view.entries[0].name, std::string(259, 'n'));
}

TEST(ZipWriter, ResultCodesForBadCalls) {
    ScratchDirectory scratch;
    const std::string source = scratch.write("a.txt", "a");
    EXPECT_FALSE(ZipWriter::create(scratch.path() + "no/such/dir/x.zip"));
    EXPECT_EQ(ZipWriter::lastError(), ZipResult::CannotOpen);

    const std::string archive = scratch.path() + "codes.zip";
    auto handle = ZipWriter::create(archive);
    ASSERT_TRUE(handle);
    EXPECT_EQ(ZipWriter::lastError(), ZipResult::Ok);
    EXPECT_EQ(ZipWriter::addFile(nullptr, "a", source), ZipResult::BadArgument);
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "", source), ZipResult::BadArgument);
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "a", ""), ZipResult::BadArgument);
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "missing", scratch.path() + "missing"), ZipResult::CannotOpen);
    EXPECT_EQ(ZipWriter::lastError(), ZipResult::CannotOpen);
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "dir", scratch.path()), ZipResult::CannotOpen);
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "a.txt", source), ZipResult::Ok);
    handle->mode = 0;
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "a.txt", source), ZipResult::NotWriting);
    handle->mode = ZipHandle::Writing;
    EXPECT_EQ(ZipWriter::close(handle), ZipResult::Ok);
    EXPECT_FALSE(handle);
    EXPECT_EQ(ZipWriter::close(handle), ZipResult::BadArgument);

    // The failed sources left no trace: one entry.
    const ZipView view = parseZip(readWholeFile(archive));
    ASSERT_TRUE(view.valid);
    EXPECT_EQ(view.totalEntries, 1);
}

TEST(ZipWriter, AFailedWriteIsLatched) {
    struct stat full {};
    if (stat("/dev/full", &full) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    ScratchDirectory scratch;
    const std::string big = scratch.write("big.bin", randomBytes(200000, 3));
    auto handle = ZipWriter::create("/dev/full");
    ASSERT_TRUE(handle);
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "big.bin", big), ZipResult::WriteFailed);
    EXPECT_EQ(ZipWriter::addFile(handle.get(), "big.bin", big), ZipResult::WriteLatched);
    EXPECT_EQ(ZipWriter::close(handle), ZipResult::WriteFailed);
    EXPECT_FALSE(handle);
}
