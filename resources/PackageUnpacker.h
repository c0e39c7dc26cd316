#pragma once

#include <cstdint>
#include <string>

// How far a resource package may expand when it is unpacked. A ZIP archive of a megabyte can
// hold a gigabyte of zeros, and a scene file or material script is read into memory whole: each
// bound stops a package built to fill the disk or the memory. Read from the environment so an
// operator with unusually large content can raise them.
struct PackageLimits {
    static constexpr uint64_t MiB = 1024 * 1024;

    uint64_t maximumBytes = 1024 * MiB;   // everything a package unpacks to (VELQUIN_PACKAGE_MAX_MB)
    uint64_t maximumRatio = 100;          // ... and at most this many times its archive's size
                                          // (VELQUIN_PACKAGE_MAX_RATIO)
    uint64_t maximumTextBytes = 16 * MiB; // one scene file or script, read into memory whole
                                          // (VELQUIN_PACKAGE_MAX_TEXT_MB)
    uint64_t diskReserve = 64 * MiB;      // free space left on the work directory's disk, at the least

    // The defaults above, with the environment's values where they are whole positive numbers.
    static PackageLimits fromEnvironment();
};

// Unpacks the files at the root of a package into a new directory, within the limits. Runs
// on any thread and holds no lock: it touches neither the engine's registries nor the project,
// so a large package unpacks while other clients are served.
class PackageUnpacker {
public:
    // kind: what the archive is called in failure reasons ("package", "project archive").
    explicit PackageUnpacker(PackageLimits limits = PackageLimits::fromEnvironment(),
                             std::string kind = "package")
        : limits_(limits), kind_(std::move(kind)) {}
    // Removes the directory with everything in it, unless it was handed on.
    ~PackageUnpacker();
    PackageUnpacker(const PackageUnpacker&) = delete;
    PackageUnpacker& operator=(const PackageUnpacker&) = delete;

    // Unpacks the package into a fresh directory below parent (which ends in "/"). False when
    // the package is no readable ZIP archive, goes past a limit or does not fit the work
    // directory's disk budget (VelOS::DiskBudget, which counts every unpacking under way):
    // nothing is left behind then, and failure() says why, naming the limit.
    bool unpack(const std::string& package, const std::string& parent);

    // The directory holding the unpacked files, ending in "/"; empty before a successful unpack.
    const std::string& directory() const { return directory_; }
    // Why the last unpack failed.
    const std::string& failure() const { return failure_; }
    // Bytes the last unpack wrote.
    uint64_t unpackedBytes() const { return unpackedBytes_; }

    // True for the entries read into memory whole: material scripts, shader programs, scene files.
    static bool isTextEntry(const std::string& entry);

private:
    bool fail(const std::string& why);
    void removeDirectory();

    PackageLimits limits_;
    std::string kind_;
    std::string directory_;
    std::string failure_;
    uint64_t unpackedBytes_ = 0;
};
