#include "platform/fileutil.h"
#include "platform/workdir.h"
#include "support/ScratchDirectory.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace VelOS;

namespace {

// Points TMPDIR at a scratch folder for the length of a test.
class TemporaryPath {
public:
    explicit TemporaryPath(const std::string& path) {
        const char* old = std::getenv("TMPDIR");
        hadOld_ = old != nullptr;
        old_ = hadOld_ ? old : "";
        setenv("TMPDIR", path.c_str(), 1);
    }
    ~TemporaryPath() {
        if (hadOld_) {
            setenv("TMPDIR", old_.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

} // namespace

TEST(WorkDirectory, IsPerProcessPrivateAndEndsInASlash) {
    ScratchDirectory scratch;
    TemporaryPath tmp(scratch.path());
    const std::string expected = scratch.path() + "Velquin-" + std::to_string(getpid()) + "/";

    EXPECT_EQ(getWorkDirectory(false), expected);
    EXPECT_FALSE(pathExists(expected));

    EXPECT_EQ(getWorkDirectory(true), expected);
    struct stat info {};
    ASSERT_EQ(stat(expected.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // An existing directory of ours is no error.
    EXPECT_EQ(getWorkDirectory(true), expected);
    EXPECT_TRUE(removeDirectoryTree(expected));
}

TEST(WorkDirectory, RefusesAPathThatIsNotADirectoryOfOurs) {
    ScratchDirectory scratch;
    TemporaryPath tmp(scratch.path());
    const std::string name = "Velquin-" + std::to_string(getpid());

    scratch.write(name, "a file in the way");
    EXPECT_EQ(getWorkDirectory(true), "");
    ASSERT_EQ(unlink((scratch.path() + name).c_str()), 0);

    ASSERT_TRUE(createDirectory(scratch.path() + "elsewhere"));
    ASSERT_EQ(symlink((scratch.path() + "elsewhere").c_str(), (scratch.path() + name).c_str()), 0);
    EXPECT_EQ(getWorkDirectory(true), "");
}
