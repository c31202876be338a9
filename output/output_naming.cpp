#include "output/output_naming.h"

#include <sys/stat.h>

#include <optional>

namespace k3v {

namespace {

std::optional<std::pair<uint64_t, uint64_t>> FileIdentity(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::pair<uint64_t, uint64_t>(info.st_dev, info.st_ino);
}

}  // namespace

std::string UnwrappedName(std::string_view path, FolderSeparators separators) {
    const std::string_view ends = separators == FolderSeparators::System ? "/" : "/\\:";
    std::string_view name = path.substr(path.find_last_of(ends) + 1);  // npos + 1 is 0
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::string(name) + "_Unwrapped";
}

InputFiles::InputFiles(std::span<const std::string> paths) {
    for (const std::string& path : paths) {
        if (const auto identity = FileIdentity(path)) {
            files_.insert(*identity);
        }
    }
}

Status InputFiles::checkOutput(const std::string& output) const {
    const auto identity = FileIdentity(output);
    if (identity && files_.count(*identity) > 0) {
        return CannotWrite(output, "it is one of the input pictures, which would be lost");
    }
    return Status::Ok();
}

}  // namespace k3v
