// k3v-convert runs as it was started, once: through the dynamic loader, and as a setuid copy
// (where glibc drops tunables from the environment, so a program that restarts itself to set
// one restarts for ever).

#include <elf.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::RunProcess;
using testing::TempFolder;

// The dynamic loader the program names in its PT_INTERP header.
std::string LoaderOf(const std::string& program) {
    std::ifstream in(program, std::ios::binary);
    Elf64_Ehdr header{};
    in.read(reinterpret_cast<char*>(&header), sizeof header);
    for (int i = 0; in && i < header.e_phnum; ++i) {
        Elf64_Phdr segment{};
        in.seekg(std::streamoff(header.e_phoff + uint64_t(i) * header.e_phentsize));
        in.read(reinterpret_cast<char*>(&segment), sizeof segment);
        if (segment.p_type == PT_INTERP) {
            std::string path(segment.p_filesz, '\0');
            in.seekg(std::streamoff(segment.p_offset));
            in.read(path.data(), std::streamsize(path.size()));
            return path.c_str();  // without the terminating zero
        }
    }
    return "";
}

TEST(StartsOnce, ThroughTheDynamicLoader) {
    TempFolder folder;
    const auto direct = RunProcess(K3V_CONVERT, {"--version"}, folder.path());
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    const std::string loader = LoaderOf(K3V_CONVERT);
    ASSERT_FALSE(loader.empty()) << "k3v-convert names no dynamic loader";
    const auto loaded = RunProcess(loader, {K3V_CONVERT, "--version"}, folder.path(), "timeout 20");
    EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.out, direct.out);
}

TEST(StartsOnce, AsASetuidCopy) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "LeakSanitizer cannot stop the threads of a setuid process at its exit";
#endif
    TempFolder folder;
    const std::string copy = folder.file("k3v-convert");
    std::filesystem::copy_file(K3V_CONVERT, copy);
    // Owned by another user, so that running it changes the effective user: glibc's secure mode.
    struct statvfs mount {};
    if (geteuid() != 0 || chown(copy.c_str(), 65534, 65534) != 0 ||
        chmod(copy.c_str(), 04755) != 0) {
        GTEST_SKIP() << "making a setuid copy needs root";
    }
    if (statvfs(copy.c_str(), &mount) != 0 || (mount.f_flag & ST_NOSUID) != 0) {
        GTEST_SKIP() << "the temporary folder does not allow setuid programs";
    }
    const auto run = RunProcess(copy, {"--version"}, folder.path().string(), "timeout 20");
    EXPECT_EQ(run.exitCode, 0) << "a setuid copy did not end by itself: " << run.err;
    EXPECT_EQ(run.out.rfind("k3v-convert ", 0), 0u) << run.out;
    // A conversion is refused in words, not by Qt's abort.
    const auto convert = RunProcess(copy, {folder.file("in.jpg"), "-o", folder.file("out.jpg")},
                                    folder.path().string(), "timeout 20");
    EXPECT_EQ(convert.exitCode, 1) << convert.err;
    EXPECT_NE(convert.err.find("will not run with set-user-ID"), std::string::npos) << convert.err;
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.jpg")));
}

}  // namespace
}  // namespace k3v
