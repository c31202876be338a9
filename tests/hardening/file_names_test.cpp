// Awkward names for inputs and outputs, through k3v-convert: blanks at either end, non-ASCII
// letters, a leading '-', shell metacharacters, paths longer than 260 characters, folders
// named like pictures and symbolic links.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/hardening/corpus.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::RunProcess;
using testing::TempFolder;

const std::string kPicture = std::string(K3V_CORPUS_DIR) + "/png_rgb8.png";  // 37 x 23
constexpr size_t kBmpSize = 54 + 4 * 37 * 23;

struct NameCase {
    const char* label;
    std::string input;   // relative to the test folder
    std::string output;  // relative to the test folder
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.label;
}

class AwkwardNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(AwkwardNames, ConvertAndSaveUnderExactlyThatName) {
    const NameCase& c = GetParam();
    TempFolder folder;
    const std::filesystem::path input = folder.path() / c.input;
    const std::filesystem::path output = folder.path() / c.output;
    std::filesystem::create_directories(input.parent_path());
    std::filesystem::create_directories(output.parent_path());
    std::filesystem::copy_file(kPicture, input);
    const auto run =
        RunProcess(K3V_CONVERT, {"-o", output.string(), "--", input.string()}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Saved \"" + output.string() + "\"\n");
    EXPECT_EQ(testing::ReadBytes(output.string()).size(), kBmpSize);
    // Nothing else appeared: no file made by a shell that read the name as a command, no
    // temporary file, no name with its blanks trimmed.
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path())) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, input == output ? 1u : 2u);
}

const std::string kLongFolder = std::string(120, 'f') + "/" + std::string(120, 'g') + "/";

INSTANTIATE_TEST_SUITE_P(
    Names, AwkwardNames,
    ::testing::Values(
        NameCase{"LeadingBlank", " picture.png", " out.bmp"},
        NameCase{"TrailingBlankInput", "picture.png ", "out.bmp"},
        NameCase{"NonAscii", "Ünïcødé 写真 ☀.png", "résultat 写真.bmp"},
        NameCase{"LeadingDash", "-picture.png", "-out.bmp"},
        NameCase{"ShellMetacharacters", "$(touch pwned)`touch pwned2`;|&<>*?'\"\\.png",
                 "$HOME !x; rm -rf ~ #.bmp"},
        NameCase{"PathOver260Characters", kLongFolder + std::string(60, 'p') + ".png",
                 kLongFolder + std::string(60, 'o') + ".bmp"},
        NameCase{"FolderWithPictureName", "album.jpg/picture.png", "result.bmp/out.bmp"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(AwkwardNames, TheLongPathCaseIsReallyLong) {
    EXPECT_GT(("/tmp/k3v-test-XXXXXX/" + kLongFolder + std::string(60, 'p') + ".png").size(), 260u);
}

// A GIF is read by Qt's readers, which get the open file: a name that is not UTF-8 (here in
// Latin-1) converts as any other, alone and in a batch into a folder.
TEST(AwkwardNames, NotUtf8ThroughQtsReaders) {
    TempFolder folder;
    const std::string input = folder.file("caf\xe9.gif");
    const std::string output = folder.file("caf\xe9.bmp");
    std::filesystem::copy_file(std::string(K3V_CORPUS_DIR) + "/gif_palette.gif", input);
    auto run = RunProcess(K3V_CONVERT, {"-o", output, input}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Saved \"" + output + "\"\n");
    EXPECT_EQ(testing::ReadBytes(output).size(), kBmpSize);
    std::filesystem::create_directory(folder.file("out"));
    run = RunProcess(K3V_CONVERT, {"--format", "bmp", "--output-dir", folder.file("out"), input},
                     folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(testing::ReadBytes(folder.file("out/caf\xe9_Unwrapped.bmp")).size(), kBmpSize);
}

// A leading '-' without "--" is an option the tool does not know: a usage error, not a file.
TEST(AwkwardNames, ADashNameWithoutTheSeparatorIsAUsageError) {
    TempFolder folder;
    std::filesystem::copy_file(kPicture, folder.file("-picture.png"));
    const auto run = RunProcess(K3V_CONVERT, {"-picture.png", "-o", "out.bmp"}, folder.path());
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"-picture.png"});
}

struct LinkCase {
    const char* label;
    bool linkTargetExists;
    bool linkIsFolder;
    int exitCode;
    const char* reason;
};

void PrintTo(const LinkCase& c, std::ostream* out) {
    *out << c.label;
}

class LinkedInputs : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkedInputs, FollowLinksAndNameTheLinkWhenTheyLeadNowhere) {
    const LinkCase& c = GetParam();
    TempFolder folder;
    std::filesystem::create_directory(folder.file("real"));
    if (c.linkIsFolder) {
        std::filesystem::create_directory(folder.file("real/pano.jpg"));
    } else if (c.linkTargetExists) {
        std::filesystem::copy_file(kPicture, folder.file("real/pano.jpg"));
    }
    std::filesystem::create_symlink("real/pano.jpg", folder.file("link.jpg"));
    const auto run = RunProcess(
        K3V_CONVERT, {"-o", folder.file("out.bmp"), folder.file("link.jpg")}, folder.path());
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (c.exitCode == 0) {
        EXPECT_EQ(testing::ReadBytes(folder.file("out.bmp")).size(), kBmpSize);
    } else {
        EXPECT_EQ(run.err, "k3v-convert: Cannot load \"" + folder.file("link.jpg") +
                               "\": " + c.reason + "\n");
        EXPECT_FALSE(std::filesystem::exists(folder.file("out.bmp")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, LinkedInputs,
    ::testing::Values(LinkCase{"ToAPicture", true, false, 0, ""},
                      LinkCase{"Dangling", false, false, 1, "the file does not exist"},
                      LinkCase{"ToAFolder", true, true, 1, "it is a folder, not a picture file"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(FolderNamedLikeAPicture, IsRefusedAsAnInputAndAsAnOutput) {
    TempFolder folder;
    std::filesystem::create_directory(folder.file("holiday.jpg"));
    std::filesystem::create_directory(folder.file("out.bmp"));
    std::filesystem::copy_file(kPicture, folder.file("p.png"));
    const auto asInput = RunProcess(
        K3V_CONVERT, {"-o", folder.file("x.bmp"), folder.file("holiday.jpg")}, folder.path());
    EXPECT_EQ(asInput.exitCode, 1);
    EXPECT_EQ(asInput.err, "k3v-convert: Cannot load \"" + folder.file("holiday.jpg") +
                               "\": it is a folder, not a picture file\n");
    const auto asOutput = RunProcess(
        K3V_CONVERT, {"-o", folder.file("out.bmp"), folder.file("p.png")}, folder.path());
    EXPECT_EQ(asOutput.exitCode, 1);
    EXPECT_EQ(asOutput.err,
              "k3v-convert: Cannot write \"" + folder.file("out.bmp") + "\": it is a folder\n");
    EXPECT_TRUE(std::filesystem::is_empty(folder.file("out.bmp")));
}

}  // namespace
}  // namespace k3v

namespace k3v {
namespace {

// A pipe would block whoever opens it until a writer comes, and a device may never end: both
// are refused before anything opens them. `timeout` turns a hang into a failed test.
class SpecialFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(SpecialFiles, AreRefusedWithoutBeingOpened) {
    TempFolder folder;
    std::string input = GetParam();
    if (input == "pipe") {
        input = folder.file("pipe.jpg");
        ASSERT_EQ(mkfifo(input.c_str(), 0644), 0);
    }
    const auto run =
        RunProcess(K3V_CONVERT, {"-o", folder.file("out.bmp"), input}, folder.path(), "timeout 30");
    EXPECT_EQ(run.exitCode, 1) << "124 means it hung: " << run.err;
    EXPECT_EQ(run.err, "k3v-convert: Cannot load \"" + input +
                           "\": it is a device, pipe or socket, not a picture file\n");
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.bmp")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SpecialFiles, ::testing::Values("pipe", "/dev/zero"),
                         [](const auto& row) {
                             return row.param == "pipe" ? std::string("NamedPipe")
                                                        : std::string("EndlessDevice");
                         });

}  // namespace
}  // namespace k3v
