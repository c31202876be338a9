#pragma once
// The saved file's format follows its name: ".jpg" or ".jpeg" is JPEG, ".bmp" is BMP, in any
// letter case.

#include <string>
#include <string_view>

namespace k3v {

enum class OutputFormat { Jpeg, Bmp, Unknown };

OutputFormat OutputFormatOfName(std::string_view path);

// "Cannot save "<path>": ..." for a name whose format is unknown.
std::string UnknownFormatMessage(const std::string& path);

inline constexpr int kDefaultJpegQuality = 100;

}  // namespace k3v
