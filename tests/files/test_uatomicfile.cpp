#include "files/uatomicfile.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {
mode_t ModeOf(const std::filesystem::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Sets the process umask for the life of the object.
struct ScopedUmask {
    mode_t previous;
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }
};
} // namespace

// New files follow the umask, replaced ones keep their permissions, and the process umask is never
// changed, not even for a moment by writers on two threads (the keeper writes on a worker thread
// while the window saves on its own).
TEST(AtomicFile, PermissionsFollowTheUmaskWhichStaysAsItWas) {
    TempDir dir;
    const ScopedUmask mask(027);

    const auto created = dir / "new.txt";
    ASSERT_TRUE(WriteFileAtomically(created, "a").Ok);
    EXPECT_EQ(ModeOf(created), 0640u);

    const auto kept = dir / "kept.txt";
    TempDir::Write(kept, "old");
    ::chmod(kept.c_str(), 0604);
    ASSERT_TRUE(WriteFileAtomically(kept, "new").Ok);
    EXPECT_EQ(TempDir::Read(kept), "new");
    EXPECT_EQ(ModeOf(kept), 0604u);

    auto writeNewFiles = [&dir](const std::string& prefix) {
        for (int i = 0; i < 40; ++i)
            WriteFileAtomically(dir / (prefix + std::to_string(i)), "x");
    };
    std::thread other(writeNewFiles, "a");
    writeNewFiles("b");
    other.join();
    EXPECT_EQ(::umask(027), 027u);
    for (const char* name : {"a0", "a39", "b0", "b39"})
        EXPECT_EQ(ModeOf(dir / name), 0640u) << name;
}
