#include "output/output_format.h"

#include <gtest/gtest.h>

namespace k3v {
namespace {

TEST(OutputFormatOfName, TheEndingDecidesInAnyLetterCase) {
    EXPECT_EQ(OutputFormatOfName("a.jpg"), OutputFormat::Jpeg);
    EXPECT_EQ(OutputFormatOfName("/x/y/A.JPG"), OutputFormat::Jpeg);
    EXPECT_EQ(OutputFormatOfName("photo.Jpeg"), OutputFormat::Jpeg);
    EXPECT_EQ(OutputFormatOfName("pano.old.Bmp"), OutputFormat::Bmp);
    EXPECT_EQ(OutputFormatOfName("wide.tif"), OutputFormat::Tiff);
    EXPECT_EQ(OutputFormatOfName("WIDE.TiFF"), OutputFormat::Tiff);
    EXPECT_EQ(OutputFormatOfName("wide.tiff.jpg"), OutputFormat::Jpeg);
    EXPECT_EQ(OutputFormatOfName("wide.tifff"), OutputFormat::Unknown);
    EXPECT_EQ(OutputFormatOfName("pano.png"), OutputFormat::Unknown);
    EXPECT_EQ(OutputFormatOfName("jpg"), OutputFormat::Unknown);
    EXPECT_EQ(OutputFormatOfName("pano.bmp.txt"), OutputFormat::Unknown);
    EXPECT_EQ(OutputFormatOfName(""), OutputFormat::Unknown);
}

TEST(OutputFormatOfName, TheRefusalNamesTheFileAndTheTypes) {
    const std::string message = UnknownFormatMessage("/tmp/x.png");
    EXPECT_NE(message.find("\"/tmp/x.png\""), std::string::npos);
    EXPECT_NE(message.find(".jpg"), std::string::npos);
    EXPECT_NE(message.find(".bmp"), std::string::npos);
}

}  // namespace
}  // namespace k3v
