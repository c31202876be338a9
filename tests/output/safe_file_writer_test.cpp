#include "output/safe_file_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "tests/support/temp_folder.h"

// The writer's fsync and umask calls pass through these wrappers (the test is linked with
// --wrap for both), so that a test can make fsync fail or see who touches the umask.
namespace {
std::atomic<mode_t> fsyncFailsFor{0};  // S_IFREG or S_IFDIR: fsync of that kind fails with EIO
std::atomic<int> umaskCalls{0};
}  // namespace

extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd) {
    struct stat info {};
    const mode_t kind = fsyncFailsFor.load(std::memory_order_relaxed);
    if (kind != 0 && fstat(fd, &info) == 0 && (info.st_mode & S_IFMT) == kind) {
        errno = EIO;
        return -1;
    }
    return __real_fsync(fd);
}
extern "C" mode_t __real_umask(mode_t mask);
extern "C" mode_t __wrap_umask(mode_t mask) {
    umaskCalls.fetch_add(1, std::memory_order_relaxed);
    return __real_umask(mask);
}

namespace k3v {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(SafeFileWriter, ManySmallWritesAndOneLargeArriveInOrder) {
    TempFolder folder;
    std::vector<uint8_t> expected;
    SafeFileWriter writer;
    ASSERT_TRUE(writer.open(folder.file("data")).ok());
    for (int i = 0; i < 300000; ++i) {
        const uint8_t byte = uint8_t(i * 7);
        writer.write(&byte, 1);
        expected.push_back(byte);
    }
    std::vector<uint8_t> large(3 << 20);
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = uint8_t(i / 3);
    }
    writer.write(large.data(), large.size());
    expected.insert(expected.end(), large.begin(), large.end());
    ASSERT_TRUE(writer.commit().ok());
    EXPECT_EQ(ReadBytes(folder.file("data")), expected);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"data"});
}

TEST(SafeFileWriter, AnAbandonedWriteLeavesNothingBehind) {
    TempFolder folder;
    WriteBytes(folder.file("keep"), {1, 2, 3});
    {
        SafeFileWriter writer;
        ASSERT_TRUE(writer.open(folder.file("keep")).ok());
        writer.write("xyz", 3);
    }
    EXPECT_EQ(ReadBytes(folder.file("keep")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"keep"});
}

// A full disk, imitated with a file-size limit in a child process so that the limit cannot
// touch the test runner. The existing file must survive byte for byte.
TEST(SafeFileWriter, AFullDiskIsReportedAndTheOldFileSurvives) {
    TempFolder folder;
    const std::vector<uint8_t> old(5000, 0x42);
    WriteBytes(folder.file("target"), old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::vector<uint8_t> big(3 << 20, 0x17);
        const Status result = WriteFileSafely(folder.file("target"), big);
        const bool saysWhy = result.message().find("File too large") != std::string::npos;
        _exit(!result.ok() && saysWhy ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadBytes(folder.file("target")), old);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"target"});
}

TEST(SafeFileWriter, RefusesAMissingFolderAFolderTargetAndAnEmptyName) {
    TempFolder folder;
    std::filesystem::create_directory(folder.file("sub"));
    const uint8_t byte = 1;
    EXPECT_NE(WriteFileSafely(folder.file("gone/x"), {&byte, 1}).message().find("does not exist"),
              std::string::npos);
    EXPECT_NE(WriteFileSafely(folder.file("sub"), {&byte, 1}).message().find("it is a folder"),
              std::string::npos);
    EXPECT_FALSE(WriteFileSafely("", {&byte, 1}).ok());
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"sub"});
}

TEST(SafeFileWriter, NewFilesGetTheUsualPermissions) {
    TempFolder folder;
    const uint8_t byte = 1;
    const mode_t old = umask(022);
    ASSERT_TRUE(WriteFileSafely(folder.file("x"), {&byte, 1}).ok());
    umask(old);
    const auto perms = std::filesystem::status(folder.file("x")).permissions();
    EXPECT_EQ(perms, std::filesystem::perms(0644));
}

// The umask is process-wide: a save that set it, even for a moment, could hand another
// thread's new file mode 0666. New files take 0666 less the umask; a replaced file keeps its mode.
TEST(SafeFileWriter, ModesComeFromTheUmaskOrTheReplacedFileWithoutTouchingTheUmask) {
    TempFolder folder;
    const uint8_t byte = 1;
    WriteBytes(folder.file("old"), {0});
    std::filesystem::permissions(folder.file("old"), std::filesystem::perms(0640));
    const mode_t old = umask(077);
    umaskCalls = 0;
    const bool saved = WriteFileSafely(folder.file("new"), {&byte, 1}).ok() &&
                       WriteFileSafely(folder.file("old"), {&byte, 1}).ok();
    const int calls = umaskCalls.load();
    umask(old);
    ASSERT_TRUE(saved);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(std::filesystem::status(folder.file("new")).permissions(),
              std::filesystem::perms(0600));
    EXPECT_EQ(std::filesystem::status(folder.file("old")).permissions(),
              std::filesystem::perms(0640));
}

// An fsync that fails with EIO: for the file, the bytes may never reach the disk, so the old
// file stays; for the folder after the rename, the new file is in place but a power cut may
// still lose it, and the message says both. Neither leaves a temporary file.
TEST(SafeFileWriter, AFailedFsyncOfTheFileOrItsFolderFailsTheSave) {
    for (const auto& [kind, kept, says] :
         {std::tuple{S_IFREG, std::vector<uint8_t>{1, 2, 3}, "Input/output error"},
          std::tuple{S_IFDIR, std::vector<uint8_t>{4, 5}, "in place, but its folder could not"}}) {
        TempFolder folder;
        WriteBytes(folder.file("target"), {1, 2, 3});
        const uint8_t bytes[] = {4, 5};
        fsyncFailsFor = kind;
        const Status result = WriteFileSafely(folder.file("target"), bytes);
        fsyncFailsFor = 0;
        EXPECT_NE(result.message().find(says), std::string::npos) << result.message();
        EXPECT_NE(result.message().find("Input/output error"), std::string::npos);
        EXPECT_EQ(ReadBytes(folder.file("target")), kept);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"target"});
    }
}

}  // namespace
}  // namespace k3v
