#pragma once
// The saved file's format follows its name, in any letter case: ".jpg" or ".jpeg" is JPEG,
// ".bmp" is BMP, ".mpo" and ".jps" are the stereo files (stereo_jpeg_files.h).

#include <string>
#include <string_view>

namespace k3v {

enum class OutputFormat { Jpeg, Bmp, Mpo, Jps, Unknown };

OutputFormat OutputFormatOfName(std::string_view path);

// "Cannot save "<path>": ..." for a name whose format is unknown.
std::string UnknownFormatMessage(const std::string& path);

inline constexpr int kDefaultJpegQuality = 100;

}  // namespace k3v
