#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace VelOS {

// How much the work directory may hold, as a whole. Every write of a size known beforehand (an
// upload, a package or project archive being unpacked) asks for its bytes first and gives them
// back when done: a write is refused when the directory would grow past its bound or the disk
// would keep less than a reserve, counting what other writes under way have asked for (two
// packages unpacking at once each see the other's bytes).
//
// The bound: VELQUIN_WORKDIR_MAX_MB, or by default half of what the disk had free, plus what the
// directory held, when the budget was set up. One per process; any thread (its own mutex).
class DiskBudget {
public:
    static constexpr std::uint64_t MiB = 1024 * 1024;
    static constexpr std::uint64_t DiskReserve = 64 * MiB; // free space always left on the disk
    static constexpr const char* BoundVariable = "VELQUIN_WORKDIR_MAX_MB";

    static DiskBudget& instance();

    // Sets the directory and its bound (0: from the environment or the default). Until this is
    // called every request is granted.
    void setUp(const std::string& workDirectory, std::uint64_t bound = 0);
    // Asks for bytes about to be written; false with the reason when they do not fit.
    bool reserve(std::uint64_t bytes, std::string& reason);
    // Gives back what reserve granted, once the bytes are written (or were not).
    void release(std::uint64_t bytes);

    // Bytes in the directory now, everything below it counted, links not followed.
    static std::uint64_t bytesBelow(const std::string& directory);
    // Bytes the disk of the directory has free for this user; UINT64_MAX when unknown.
    static std::uint64_t freeBytes(const std::string& directory);

    std::uint64_t bound() const;
    std::uint64_t reserved() const;

    // Holds a reservation for the length of a scope.
    class Reservation {
    public:
        Reservation() = default;
        ~Reservation() { reset(); }
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;
        // Reserves bytes; false with the reason when they do not fit.
        bool take(std::uint64_t bytes, std::string& reason);
        void reset();

    private:
        std::uint64_t bytes_ = 0;
    };

private:
    mutable std::mutex mutex_; // guards everything below
    std::string directory_;    // empty until set up
    std::uint64_t bound_ = 0;
    std::uint64_t reserved_ = 0; // granted and not given back
};

} // namespace VelOS
