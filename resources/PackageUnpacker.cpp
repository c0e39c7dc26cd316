#include "resources/PackageUnpacker.h"

#include "platform/DiskBudget.h"
#include "platform/fileutil.h"
#include "platform/pathguard.h"

#include <OGRE/Ogre.h>
#include <OGRE/OgreZip.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

constexpr size_t Block = 64 * 1024;

uint64_t environmentNumber(const char* variable, uint64_t fallback) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return *end == '\0' && value > 0 && value < (1ull << 40) ? value : fallback;
}

bool endsWithFolded(const std::string& text, const char* tail) {
    const std::string t(tail);
    if (text.size() < t.size()) {
        return false;
    }
    for (size_t i = 0; i < t.size(); ++i) {
        char c = text[text.size() - t.size() + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != t[i]) {
            return false;
        }
    }
    return true;
}

uint64_t freeBytes(const std::string& directory) {
    struct statvfs disk {};
    if (::statvfs(directory.c_str(), &disk) != 0) {
        return UINT64_MAX; // unknown: the other limits still hold
    }
    return static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
}

// Creates the folders of an entry's path below the directory ("a/b/c.png" makes a and a/b).
bool makeFoldersFor(const std::string& directory, const std::string& entry) {
    for (std::string::size_type slash = entry.find('/'); slash != std::string::npos;
         slash = entry.find('/', slash + 1)) {
        const std::string folder = directory + entry.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

// An archive opened without the engine's archive registry, which is not made for use from
// several threads; closed with the object.
class PrivateZip {
public:
    explicit PrivateZip(const std::string& path) : archive_(factory_.createInstance(path, true)) {}
    ~PrivateZip() {
        if (archive_ != nullptr) {
            try {
                archive_->unload();
            } catch (const Ogre::Exception&) {
            }
            factory_.destroyInstance(archive_);
        }
    }
    PrivateZip(const PrivateZip&) = delete;
    PrivateZip& operator=(const PrivateZip&) = delete;
    Ogre::Archive* operator->() const { return archive_; }

private:
    Ogre::ZipArchiveFactory factory_;
    Ogre::Archive* archive_;
};

} // namespace

PackageLimits PackageLimits::fromEnvironment() {
    PackageLimits limits;
    limits.maximumBytes = environmentNumber("VELQUIN_PACKAGE_MAX_MB", limits.maximumBytes / MiB) * MiB;
    limits.maximumRatio = environmentNumber("VELQUIN_PACKAGE_MAX_RATIO", limits.maximumRatio);
    limits.maximumTextBytes =
        environmentNumber("VELQUIN_PACKAGE_MAX_TEXT_MB", limits.maximumTextBytes / MiB) * MiB;
    return limits;
}

PackageUnpacker::~PackageUnpacker() {
    removeDirectory();
}

bool PackageUnpacker::isTextEntry(const std::string& entry) {
    for (const char* tail : {".material", ".program", ".osm", ".scene", ".xml", ".compositor", ".overlay"}) {
        if (endsWithFolded(entry, tail)) {
            return true;
        }
    }
    return false;
}

bool PackageUnpacker::fail(const std::string& why) {
    failure_ = why;
    removeDirectory();
    return false;
}

void PackageUnpacker::removeDirectory() {
    if (!directory_.empty()) {
        VelOS::removeDirectoryTree(directory_.substr(0, directory_.size() - 1));
        directory_.clear();
    }
}

bool PackageUnpacker::unpack(const std::string& package, const std::string& parent) {
    removeDirectory();
    failure_.clear();
    unpackedBytes_ = 0;

    struct stat status {};
    if (::stat(package.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return fail("no such package file");
    }
    const uint64_t byRatio = static_cast<uint64_t>(status.st_size) * limits_.maximumRatio;
    const uint64_t allowed = std::min(limits_.maximumBytes, std::max<uint64_t>(byRatio, Block));
    const std::string allowedWhy =
        byRatio < limits_.maximumBytes
            ? std::to_string(limits_.maximumRatio) + " times its archive size (VELQUIN_PACKAGE_MAX_RATIO)"
            : std::to_string(limits_.maximumBytes / PackageLimits::MiB) + " MiB (VELQUIN_PACKAGE_MAX_MB)";

    try {
        PrivateZip zip(package);
        zip->load();
        // Every entry, those in folders too: a material script may name a texture in a folder.
        Ogre::FileInfoListPtr entries = zip->listFileInfo(true, false);

        // What the archive declares is checked before anything is written; what it really
        // holds is counted while it is written, since a declaration can lie.
        uint64_t declared = 0;
        for (const Ogre::FileInfo& entry : *entries) {
            declared += entry.uncompressedSize;
            if (isTextEntry(entry.filename) && entry.uncompressedSize > limits_.maximumTextBytes) {
                return fail(entry.filename + " is larger than " +
                            std::to_string(limits_.maximumTextBytes / PackageLimits::MiB) +
                            " MiB (VELQUIN_PACKAGE_MAX_TEXT_MB)");
            }
        }
        if (declared > allowed) {
            return fail("the " + kind_ + " expands beyond " + allowedWhy);
        }
        // Held while unpacking: another unpacking at the same time counts these bytes too.
        VelOS::DiskBudget::Reservation room;
        std::string noRoom;
        if (!room.take(declared, noRoom)) {
            return fail(noRoom);
        }

        std::string made = parent + ".unpack-XXXXXX";
        if (::mkdtemp(&made[0]) == nullptr) {
            return fail("cannot create a directory in " + parent);
        }
        directory_ = made + "/";

        std::vector<char> block(Block);
        for (const Ogre::FileInfo& entry : *entries) {
            std::string path;
            if (!VelOS::resolveInside(directory_, entry.filename, path)) {
                // The engine's log, not the player's sink: the loader's own lines go there too.
                if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr()) {
                    logs->logMessage(
                        "Resource::init: skipped, the name leads out of the resource directory: " +
                        entry.filename);
                }
                continue;
            }
            if (!makeFoldersFor(directory_, path.substr(directory_.size()))) {
                return fail("cannot unpack " + entry.filename);
            }
            const uint64_t entryLimit = isTextEntry(entry.filename) ? limits_.maximumTextBytes : UINT64_MAX;
            Ogre::DataStreamPtr in = zip->open(entry.filename, true);
            std::FILE* out = std::fopen(path.c_str(), "wb");
            if (!in || out == nullptr) {
                if (out != nullptr) {
                    std::fclose(out);
                }
                return fail("cannot unpack " + entry.filename);
            }
            uint64_t written = 0;
            bool damaged = false;
            while (!in->eof()) {
                const size_t count = in->read(block.data(), Block);
                if (count > Block) {
                    damaged = true; // the reader reports a damaged entry as a negative count
                    break;
                }
                if (count == 0) {
                    break;
                }
                written += count;
                unpackedBytes_ += count;
                if (written > entryLimit || unpackedBytes_ > allowed || unpackedBytes_ > declared) {
                    break; // an archive that holds more than it declares lies about the rest too
                }
                if (std::fwrite(block.data(), 1, count, out) != count) {
                    damaged = true;
                    break;
                }
            }
            std::fclose(out);
            if (damaged) {
                return fail("damaged package entry or full disk: " + entry.filename);
            }
            if (written > entryLimit) {
                return fail(entry.filename + " is larger than " +
                            std::to_string(limits_.maximumTextBytes / PackageLimits::MiB) +
                            " MiB (VELQUIN_PACKAGE_MAX_TEXT_MB)");
            }
            if (unpackedBytes_ > allowed || unpackedBytes_ > declared) {
                return fail("the " + kind_ + " expands beyond " +
                            (unpackedBytes_ > allowed ? allowedWhy : "what it declares"));
            }
            if (freeBytes(parent) < limits_.diskReserve) {
                return fail("the work directory's disk is nearly full");
            }
        }
    } catch (const Ogre::Exception& error) {
        return fail("not a ZIP archive: " + package);
    } catch (const std::exception& error) {
        return fail("cannot unpack the " + kind_ + " (" + error.what() + ")");
    }
    return true;
}
