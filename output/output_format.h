#pragma once
// The saved file's format follows its name, in any letter case: ".jpg" or ".jpeg" is JPEG,
// ".bmp" is BMP, ".tif" or ".tiff" is TIFF, ".mpo" and ".jps" are the stereo files
// (stereo_jpeg_files.h).

#include <string>
#include <string_view>

namespace k3v {

enum class OutputFormat { Jpeg, Bmp, Mpo, Jps, Tiff, Unknown };

OutputFormat OutputFormatOfName(std::string_view path);

// "Cannot save "<path>": ..." for a name whose format is unknown.
std::string UnknownFormatMessage(const std::string& path);

inline constexpr int kDefaultJpegQuality = 100;

// How a TIFF file's tiles are compressed; all three are lossless.
enum class TiffCompression { None, Lzw, Deflate };

inline constexpr TiffCompression kDefaultTiffCompression = TiffCompression::Deflate;

}  // namespace k3v
