// Saving under faults, through k3v-convert, for every format: each fault gives exit status 1
// and one line naming the output and the reason; a file that was at the target survives byte
// for byte; no partial or temporary file is left behind.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/support/run_process.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::ReadBytes;
using testing::RunProcess;
using testing::TempFolder;
using testing::WriteBytes;

// Big enough that no format fits into the small disk or the file-size limit below: a 300 x 200
// noise picture (a 240 kB BMP, a JPEG of over 100 kB at quality 100, a TIFF of about 180 kB).
std::string MakeNoisePicture(const TempFolder& folder, const std::string& name) {
    std::vector<uint8_t> bmp(54 + 300 * 200 * 4);
    const uint8_t header[54] = {'B', 'M', 0, 0,  0, 0, 0, 0,   0, 0, 54, 0, 0, 0,  40,
                                0,   0,   0, 44, 1, 0, 0, 200, 0, 0, 0,  1, 0, 32, 0};
    std::copy(header, header + 54, bmp.begin());
    uint32_t state = 12345;
    for (size_t i = 54; i < bmp.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        bmp[i] = (i - 54) % 4 == 3 ? 0 : uint8_t(state >> 24);
    }
    WriteBytes(folder.file(name), bmp);
    return folder.file(name);
}

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

enum class Fault {
    MissingFolder,
    FolderNotWritable,
    DiskFull,
    FileSizeLimit,
    TargetIsFolder,
    OutputIsInput,
    OutputIsInputByAnotherPath,
    OutputIsLinkToInput,
};

struct FaultCase {
    const char* label;
    Fault fault;
    const char* reason;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.label;
}

using testing::SmallDisk;

class SaveFaults : public ::testing::TestWithParam<std::tuple<std::string, FaultCase>> {};

TEST_P(SaveFaults, AreReportedAndLoseNothing) {
    const auto& [format, c] = GetParam();
    TempFolder folder;
    std::filesystem::permissions(folder.path(), std::filesystem::perms(0755));
    const std::string noise = MakeNoisePicture(folder, "noise.bmp");
    std::filesystem::create_directory(folder.file("target"));
    std::filesystem::permissions(folder.file("target"), std::filesystem::perms(0777));
    std::string input = noise;
    std::string output = folder.file("target/out." + format);
    std::string prefix;
    SmallDisk disk;
    // What was at the target before, which must survive.
    const std::vector<uint8_t> old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e', 0, 1, 2, 3};

    switch (c.fault) {
        case Fault::MissingFolder:
            output = folder.file("target/gone/out." + format);
            break;
        case Fault::FolderNotWritable:
            WriteBytes(output, old);
            std::filesystem::permissions(folder.file("target"), std::filesystem::perms(0555));
            if (geteuid() == 0) {
                // The superuser ignores permissions: run as nobody.
                if (std::system("setpriv --version >/dev/null 2>&1") != 0) {
                    GTEST_SKIP() << "running as root without setpriv: cannot drop privileges";
                }
                prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
            }
            break;
        case Fault::DiskFull:
            if (geteuid() != 0) {
                GTEST_SKIP() << "mounting a small file system needs root; FileSizeLimit covers "
                                "the same path without it";
            }
            if (::mount("k3v-test", folder.file("target").c_str(), "tmpfs", 0, "size=64k") != 0) {
                GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
            }
            disk.path = folder.file("target");
            WriteBytes(output, old);
            break;
        case Fault::FileSizeLimit:
            WriteBytes(output, old);
            prefix = "ulimit -f 40;";
            break;
        case Fault::TargetIsFolder:
            std::filesystem::create_directory(output);
            WriteBytes(output + "/inside", old);
            break;
        case Fault::OutputIsInput:
        case Fault::OutputIsInputByAnotherPath:
        case Fault::OutputIsLinkToInput: {
            // A picture that is itself a valid output name: the conversion would replace it.
            std::filesystem::copy_file(noise, folder.file("target/in.bmp"));
            input = folder.file("target/in.bmp");
            if (format != "bmp") {
                const auto made = RunProcess(
                    K3V_CONVERT, {"-o", folder.file("target/in." + format), input}, folder.path());
                ASSERT_EQ(made.exitCode, 0) << made.err;
                std::filesystem::remove(input);
                input = folder.file("target/in." + format);
            }
            output = c.fault == Fault::OutputIsInputByAnotherPath
                         ? folder.file("target/../target/./in." + format)
                         : input;
            if (c.fault == Fault::OutputIsLinkToInput) {
                output = folder.file("target/link." + format);
                std::filesystem::create_symlink(input, output);
            }
            break;
        }
    }
    const bool hadTarget = std::filesystem::is_regular_file(output);
    const std::vector<uint8_t> before = hadTarget ? ReadBytes(output) : std::vector<uint8_t>{};
    const std::vector<std::string> entries = EntriesOf(folder.file("target"));

    const auto run = RunProcess(K3V_CONVERT, {"-o", output, input}, folder.path(), prefix);

    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("k3v-convert: Cannot write \"" + output + "\": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    if (hadTarget) {
        EXPECT_EQ(ReadBytes(output), before) << "the file at the target must survive";
    }
    if (std::filesystem::is_directory(folder.file("target"))) {
        EXPECT_EQ(EntriesOf(folder.file("target")), entries)
            << "no partial or temporary file may be left";
    }
    std::filesystem::permissions(folder.file("target"), std::filesystem::perms(0755));
}

const FaultCase kFaults[] = {
    {"MissingFolder", Fault::MissingFolder, "does not exist"},
    {"FolderNotWritable", Fault::FolderNotWritable, "Permission denied"},
    {"DiskFull", Fault::DiskFull, "No space left on device"},
    {"FileSizeLimit", Fault::FileSizeLimit, "File too large"},
    {"TargetIsFolder", Fault::TargetIsFolder, "it is a folder"},
    {"OutputIsInput", Fault::OutputIsInput, "it is one of the input pictures"},
    {"OutputIsInputByAnotherPath", Fault::OutputIsInputByAnotherPath,
     "it is one of the input pictures"},
    {"OutputIsLinkToInput", Fault::OutputIsLinkToInput, "it is one of the input pictures"},
};

INSTANTIATE_TEST_SUITE_P(EveryFormat, SaveFaults,
                         ::testing::Combine(::testing::Values("bmp", "jpg", "mpo", "jps", "tif"),
                                            ::testing::ValuesIn(kFaults)),
                         [](const auto& row) {
                             return std::get<0>(row.param) + "_" + std::get<1>(row.param).label;
                         });

// A longer file at the target is replaced completely: the result is byte for byte the file
// written to a fresh name, with no tail of the old one.
class ReplaceLongerFile : public ::testing::TestWithParam<std::string> {};

TEST_P(ReplaceLongerFile, LeavesNoTrailingBytes) {
    const std::string format = GetParam();
    TempFolder folder;
    const std::string input = MakeNoisePicture(folder, "noise.bmp");
    const auto fresh =
        RunProcess(K3V_CONVERT, {"-o", folder.file("fresh." + format), input}, folder.path());
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
    const std::vector<uint8_t> expected = ReadBytes(folder.file("fresh." + format));
    WriteBytes(folder.file("old." + format), std::vector<uint8_t>(expected.size() * 3, 0xAB));
    const auto run =
        RunProcess(K3V_CONVERT, {"-o", folder.file("old." + format), input}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(folder.file("old." + format)), expected);
    EXPECT_EQ(folder.entries(),
              (std::vector<std::string>{"fresh." + format, "noise.bmp", "old." + format}));
}

INSTANTIATE_TEST_SUITE_P(PictureFormats, ReplaceLongerFile, ::testing::Values("bmp", "jpg", "tif"));

// Separate files are written both or neither: when the right eye's file cannot be written,
// the left eye's old file stays as it was and no temporary file is left.
TEST(SaveFaults, ASeparateFileThatFailsKeepsTheOtherOneOld) {
    TempFolder folder;
    const std::string noise = MakeNoisePicture(folder, "noise.bmp");
    std::filesystem::create_directory(folder.file("out"));
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(folder.file("out/pair_left.jpg"), old);
    std::filesystem::create_directory(folder.file("out/pair_right.jpg"));  // in the way
    const auto entries = EntriesOf(folder.file("out"));

    const auto run =
        RunProcess(K3V_CONVERT, {"--layout", "separate", "-o", folder.file("out/pair.jpg"), noise},
                   folder.path());

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "k3v-convert: Cannot write \"" + folder.file("out/pair_right.jpg") +
                           "\": it is a folder\n");
    EXPECT_EQ(ReadBytes(folder.file("out/pair_left.jpg")), old);
    EXPECT_EQ(EntriesOf(folder.file("out")), entries);
}

// In a batch, one output that cannot be written does not stop the others.
TEST(SaveFaultsInABatch, OneFailedOutputLeavesTheOthersSaved) {
    TempFolder folder;
    const std::string a = MakeNoisePicture(folder, "a.bmp");
    const std::string b = MakeNoisePicture(folder, "b.bmp");
    std::filesystem::create_directory(folder.file("out"));
    std::filesystem::create_directory(folder.file("out/a_Unwrapped.bmp"));  // in the way
    const auto run = RunProcess(
        K3V_CONVERT, {"--format", "bmp", "--output-dir", folder.file("out"), a, b}, folder.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "k3v-convert: Cannot write \"" + folder.file("out/a_Unwrapped.bmp") +
                           "\": it is a folder\n");
    EXPECT_EQ(ReadBytes(folder.file("out/b_Unwrapped.bmp")).size(), 54u + 300 * 200 * 4);
}

TEST(SaveFaultsInABatch, AMissingOutputFolderIsReportedForEveryFile) {
    TempFolder folder;
    const std::string a = MakeNoisePicture(folder, "a.bmp");
    const auto run = RunProcess(
        K3V_CONVERT, {"--format", "bmp", "--output-dir", folder.file("nowhere"), a}, folder.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.file("nowhere")));
}

}  // namespace
}  // namespace k3v

namespace k3v {
namespace {

// A second run over a folder that holds the first run's outputs: converting a.bmp would write
// a_Unwrapped.bmp, which this same batch reads as an input.
TEST(SaveFaultsInABatch, AnOutputThatIsAnotherInputOfTheBatchIsRefused) {
    TempFolder folder;
    const std::string a = MakeNoisePicture(folder, "a.bmp");
    const std::string earlier = MakeNoisePicture(folder, "a_Unwrapped.bmp");
    const std::vector<uint8_t> before = ReadBytes(earlier);
    const auto run = RunProcess(
        K3V_CONVERT, {"--format", "bmp", "--output-dir", folder.path().string(), a, earlier},
        folder.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "k3v-convert: Cannot write \"" + earlier +
                           "\": it is one of the input pictures, which would be lost\n");
    EXPECT_EQ(ReadBytes(earlier), before);
    EXPECT_EQ(folder.entries(),
              (std::vector<std::string>{"a.bmp", "a_Unwrapped.bmp", "a_Unwrapped_Unwrapped.bmp"}));
}

}  // namespace
}  // namespace k3v
