#pragma once
// Where a save goes and what it writes, decided once from the chosen name and the options:
// the format (by the name's ending, in any letter case: .jpg/.jpeg, .bmp, .tif/.tiff, .mpo, .jps),
// the file or files written (the separate-files layout writes NAME_left.EXT and NAME_right.EXT;
// an MPO or JPS file is always one file holding both eyes), the settings the views are made with
// for it (a stereo file holds the side-by-side pair whatever the layout), the JPEG quality, the
// TIFF compression and whether the photo's information goes along.

#include <string>
#include <vector>

#include "base/status.h"
#include "output/output_format.h"
#include "output/output_naming.h"
#include "stereo/conversion_settings.h"

namespace k3v {

class OutputTarget {
  public:
    // Any name is taken; check() refuses one whose format is unknown.
    OutputTarget(std::string path, const ConversionSettings& settings,
                 int jpegQuality = kDefaultJpegQuality, bool keepMetadata = false,
                 TiffCompression tiffCompression = kDefaultTiffCompression);

    const std::string& path() const { return path_; }
    OutputFormat format() const { return format_; }
    // Stereo files (MPO, JPS) hold both eyes' views in one file.
    bool isStereoFile() const {
        return format_ == OutputFormat::Mpo || format_ == OutputFormat::Jps;
    }
    // The files written: the path, or the left eye's file and then the right eye's.
    const std::vector<std::string>& files() const { return files_; }
    const ConversionSettings& settings() const { return settings_; }
    int jpegQuality() const { return jpegQuality_; }
    TiffCompression tiffCompression() const { return tiffCompression_; }
    bool keepsMetadata() const { return keepMetadata_; }

    // Ok when the save may go ahead: none of its files is one of `inputs` (which would be
    // lost), and the format is known.
    Status check(const InputFiles& inputs) const;
    // The files of the save that exist already.
    std::vector<std::string> existingFiles() const;

  private:
    std::string path_;
    OutputFormat format_;
    std::vector<std::string> files_;
    ConversionSettings settings_;
    int jpegQuality_;
    bool keepMetadata_;
    TiffCompression tiffCompression_;
};

}  // namespace k3v
