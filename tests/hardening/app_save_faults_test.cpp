// The desktop program's "Publish 3D Pano" under the faults that do not need a second user:
// a missing folder, a full disk, a file-size limit, a read-only folder, a folder in the way. Each
// gives one warning naming the file and the reason, no "Publishing succeeded", the file that was at
// the target byte for byte, and nothing else in the folder.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/main_window.h"
#include "input/tiff_file_decoder.h"
#include "tests/app/fake_services.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class Application : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
        testing::SilencePlatformNoise();
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[24] = "hardening_app_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Application);

enum class Fault {
    MissingFolder,
    DiskFull,
    FileSizeLimit,
    ReadOnlyFolder,
    TargetIsFolder,
    Replace
};

struct AppCase {
    const char* label;
    Fault fault;
    const char* reason;  // in the warning; empty: the save must succeed
};

void PrintTo(const AppCase& c, std::ostream* out) {
    *out << c.label;
}

using testing::SmallDisk;

// A file-size limit on this process (the writer's write fails with EFBIG), lifted again.
struct FileSizeLimit {
    rlimit before{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &before);
        const rlimit limit{bytes, before.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &before); }
};

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class AppSaveFaults : public ::testing::TestWithParam<std::tuple<std::string, AppCase>> {};

TEST_P(AppSaveFaults, WarnAndLoseNothing) {
    const auto& [format, c] = GetParam();
    TempFolder folder;
    // 300 x 200 noise: a 240 kB BMP and a JPEG well over 64 kB.
    QImage noise(300, 200, QImage::Format_RGB32);
    uint32_t state = 99;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            state = state * 1664525u + 1013904223u;
            noise.setPixel(x, y, state >> 8);
        }
    }
    const std::string picture = folder.file("noise.png");
    ASSERT_TRUE(noise.save(QString::fromStdString(picture)));
    std::filesystem::create_directory(folder.file("target"));
    const std::string target = c.fault == Fault::MissingFolder
                                   ? folder.file("target/gone/out." + format)
                                   : folder.file("target/out." + format);
    const std::vector<uint8_t> old(1000, 0x5A);

    AppState app;
    ASSERT_TRUE(MakeStartState(app, QString::fromStdString(folder.path().string())).ok());
    testing::FakeDialogs dialogs;
    testing::FakeSound sound;
    MainWindow window(app, dialogs, sound, QString::fromStdString(folder.path().string()));
    window.loadPicture(QString::fromStdString(picture), PictureSlot::First);
    ASSERT_TRUE(dialogs.warnings.isEmpty()) << dialogs.warnings.join(u'\n').toStdString();

    SmallDisk disk;
    std::unique_ptr<FileSizeLimit> limit;
    switch (c.fault) {
        case Fault::MissingFolder:
            break;
        case Fault::DiskFull:
        case Fault::ReadOnlyFolder:
            if (geteuid() != 0) {
                GTEST_SKIP() << "mounting a small file system needs root";
            }
            if (mount("k3v-test", folder.file("target").c_str(), "tmpfs", 0, "size=64k") != 0) {
                GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
            }
            disk.path = folder.file("target");
            WriteBytes(target, old);
            if (c.fault == Fault::ReadOnlyFolder && mount("k3v-test", disk.path.c_str(), "tmpfs",
                                                          MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
                GTEST_SKIP() << "cannot make the tmpfs read-only: " << std::strerror(errno);
            }
            break;
        case Fault::FileSizeLimit:
            WriteBytes(target, old);
            limit = std::make_unique<FileSizeLimit>(20000);
            break;
        case Fault::TargetIsFolder:
            std::filesystem::create_directory(target);
            WriteBytes(target + "/inside", old);
            break;
        case Fault::Replace:
            WriteBytes(target, std::vector<uint8_t>(1 << 20, 0xAB));  // longer than the result
            break;
    }
    const bool hadFile = std::filesystem::is_regular_file(target);
    const std::vector<uint8_t> before = hadFile ? ReadBytes(target) : std::vector<uint8_t>{};
    const std::vector<std::string> entries = EntriesOf(folder.file("target"));

    dialogs.saveAnswers = {QString::fromStdString(target)};
    window.publish();
    limit.reset();

    if (c.fault == Fault::Replace) {
        EXPECT_TRUE(dialogs.warnings.isEmpty()) << dialogs.warnings.join(u'\n').toStdString();
        EXPECT_EQ(dialogs.informations, QStringList{QStringLiteral("Publishing succeeded")});
        const std::vector<uint8_t> saved = ReadBytes(target);
        if (format == "bmp") {
            EXPECT_EQ(saved.size(), 54u + 4 * 300 * 200);
        } else if (format == "tif") {
            PixelPlane read;  // the new file whole, not the old file's tail after it
            ASSERT_TRUE(DecodeTiffFile(target, read).ok());
            EXPECT_EQ(read.width(), 300);
            EXPECT_LT(saved.size(), size_t(1) << 20);
        } else {
            ASSERT_GE(saved.size(), 4u);
            EXPECT_EQ(saved[saved.size() - 2], 0xFF);  // the file ends with its EOI marker,
            EXPECT_EQ(saved[saved.size() - 1], 0xD9);  // not with the old file's tail
            EXPECT_LT(saved.size(), size_t(1) << 20);
        }
        EXPECT_EQ(EntriesOf(folder.file("target")), std::vector<std::string>{"out." + format});
        return;
    }
    ASSERT_EQ(dialogs.warnings.size(), 1);
    const std::string warning = dialogs.warnings[0].toStdString();
    EXPECT_NE(warning.find(target), std::string::npos) << warning;
    EXPECT_NE(warning.find(c.reason), std::string::npos) << warning;
    EXPECT_TRUE(dialogs.informations.isEmpty());
    EXPECT_TRUE(dialogs.openedUrls.isEmpty());
    if (hadFile) {
        EXPECT_EQ(ReadBytes(target), before) << "the file at the target must survive";
    }
    EXPECT_EQ(EntriesOf(folder.file("target")), entries) << "nothing may be left behind";
}

TEST(AppSaveOverInput, TheSourcePictureIsNeverOverwritten) {
    TempFolder folder;
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    const std::string source = folder.file("pano.bmp");
    ASSERT_TRUE(picture.save(QString::fromStdString(source)));
    const std::vector<uint8_t> before = ReadBytes(source);

    AppState app;
    ASSERT_TRUE(MakeStartState(app, QString::fromStdString(folder.path().string())).ok());
    testing::FakeDialogs dialogs;
    testing::FakeSound sound;
    MainWindow window(app, dialogs, sound, QString::fromStdString(folder.path().string()));
    window.loadPicture(QString::fromStdString(source), PictureSlot::First);
    // The same file, spelled another way.
    dialogs.saveAnswers = {QString::fromStdString(folder.file("./pano.bmp"))};
    window.publish();

    ASSERT_EQ(dialogs.warnings.size(), 1);
    EXPECT_NE(dialogs.warnings[0].toStdString().find("input pictures"), std::string::npos)
        << dialogs.warnings[0].toStdString();
    EXPECT_TRUE(dialogs.informations.isEmpty());
    EXPECT_EQ(ReadBytes(source), before);
}

const AppCase kAppCases[] = {
    {"MissingFolder", Fault::MissingFolder, "does not exist"},
    {"DiskFull", Fault::DiskFull, "No space left on device"},
    {"FileSizeLimit", Fault::FileSizeLimit, "File too large"},
    {"ReadOnlyFolder", Fault::ReadOnlyFolder, "Read-only file system"},
    {"TargetIsFolder", Fault::TargetIsFolder, "it is a folder"},
    {"ReplaceALongerFile", Fault::Replace, ""},
};

INSTANTIATE_TEST_SUITE_P(EachFormat, AppSaveFaults,
                         ::testing::Combine(::testing::Values("bmp", "jpg", "tif"),
                                            ::testing::ValuesIn(kAppCases)),
                         [](const auto& row) {
                             return std::get<0>(row.param) + "_" + std::get<1>(row.param).label;
                         });

}  // namespace
}  // namespace k3v
