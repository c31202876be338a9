#include "output/output_naming.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

TEST(UnwrappedName, DropsTheFolderAndTheLastExtension) {
    EXPECT_EQ(UnwrappedName("/pics/hall.tif"), "hall_Unwrapped");
    EXPECT_EQ(UnwrappedName("b/pano.old.jpg"), "pano.old_Unwrapped");
    EXPECT_EQ(UnwrappedName("photo"), "photo_Unwrapped");
    EXPECT_EQ(UnwrappedName("/a.b/photo"), "photo_Unwrapped");
    // On this system '\' and ':' belong to the file name; a Windows path also ends its folder
    // there.
    EXPECT_EQ(UnwrappedName("/x/12:30 a\\b.png"), "12:30 a\\b_Unwrapped");
    EXPECT_EQ(UnwrappedName("/x/12:30 a\\b.png", FolderSeparators::AlsoWindows), "b_Unwrapped");
    EXPECT_EQ(UnwrappedName("C:hall.tif", FolderSeparators::AlsoWindows), "hall_Unwrapped");
}

TEST(InputFiles, RefuseAnOutputThatIsAnInputUnderAnyName) {
    TempFolder folder;
    WriteBytes(folder.file("a.bmp"), {1});
    WriteBytes(folder.file("other.bmp"), {2});
    std::filesystem::create_directory(folder.file("sub"));
    std::filesystem::create_symlink(folder.file("a.bmp"), folder.file("link.bmp"));
    const std::string inputs[] = {"", folder.file("missing.png"), folder.file("a.bmp")};
    const InputFiles files(inputs);

    for (const std::string& output :
         {folder.file("a.bmp"), folder.file("sub/../a.bmp"), folder.file("link.bmp")}) {
        EXPECT_EQ(files.checkOutput(output).message(),
                  "Cannot write \"" + output +
                      "\": it is one of the input pictures, which would be lost");
    }
    for (const std::string& output :
         {folder.file("other.bmp"), folder.file("missing.png"), std::string()}) {
        EXPECT_TRUE(files.checkOutput(output).ok()) << output;
    }
}

}  // namespace
}  // namespace k3v
