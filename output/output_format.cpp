#include "output/output_format.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace k3v {

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) {
        return false;
    }
    return std::equal(ending.begin(), ending.end(), text.end() - std::ptrdiff_t(ending.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace

OutputFormat OutputFormatOfName(std::string_view path) {
    if (EndsWithNoCase(path, ".jpg") || EndsWithNoCase(path, ".jpeg")) {
        return OutputFormat::Jpeg;
    }
    if (EndsWithNoCase(path, ".bmp")) {
        return OutputFormat::Bmp;
    }
    if (EndsWithNoCase(path, ".tif") || EndsWithNoCase(path, ".tiff")) {
        return OutputFormat::Tiff;
    }
    if (EndsWithNoCase(path, ".mpo")) {
        return OutputFormat::Mpo;
    }
    if (EndsWithNoCase(path, ".jps")) {
        return OutputFormat::Jps;
    }
    return OutputFormat::Unknown;
}

std::string UnknownFormatMessage(const std::string& path) {
    return "Cannot save \"" + path +
           "\": the name must end in .jpg or .jpeg (JPEG picture), .bmp (BMP picture), .tif or "
           ".tiff (TIFF picture), .mpo (MPO stereo file) or .jps (JPS stereo file)";
}

}  // namespace k3v
