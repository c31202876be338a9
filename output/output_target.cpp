#include "output/output_target.h"

#include <filesystem>
#include <utility>

namespace k3v {

namespace {

// NAME_left.EXT and NAME_right.EXT for NAME.EXT; the extension is the part after the last dot
// of the file name, if any.
std::vector<std::string> EyeFileNames(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t stem =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size();
    return {path.substr(0, stem) + "_left" + path.substr(stem),
            path.substr(0, stem) + "_right" + path.substr(stem)};
}

}  // namespace

OutputTarget::OutputTarget(std::string path, const ConversionSettings& settings, int jpegQuality,
                           bool keepMetadata, TiffCompression tiffCompression)
    : path_(std::move(path)),
      format_(OutputFormatOfName(path_)),
      settings_(settings),
      jpegQuality_(jpegQuality),
      keepMetadata_(keepMetadata),
      tiffCompression_(tiffCompression) {
    if (isStereoFile()) {
        settings_.StereoLayout = kSideBySideHorizontal;
    }
    files_ = settings_.StereoLayout == kSeparateFiles ? EyeFileNames(path_)
                                                      : std::vector<std::string>{path_};
}

Status OutputTarget::check(const InputFiles& inputs) const {
    for (const std::string& file : files_) {
        if (Status allowed = inputs.checkOutput(file); !allowed) {
            return allowed;
        }
    }
    if (format_ == OutputFormat::Unknown) {
        return Status::Error(UnknownFormatMessage(path_));
    }
    return Status::Ok();
}

std::vector<std::string> OutputTarget::existingFiles() const {
    std::vector<std::string> existing;
    for (const std::string& file : files_) {
        std::error_code error;
        if (std::filesystem::exists(file, error)) {
            existing.push_back(file);
        }
    }
    return existing;
}

}  // namespace k3v
