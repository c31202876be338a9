#pragma once
// A benchmark's scratch folder under the system's temporary folder: made on first use, named
// from `prefix` (the first call's), and removed with everything in it by RemoveWorkFolder().

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace k3v::bench {

inline const std::filesystem::path& WorkFolder(const std::string& prefix) {
    static const std::filesystem::path folder = [&prefix] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        return std::filesystem::path(pattern);
    }();
    return folder;
}

inline void RemoveWorkFolder(const std::string& prefix) {
    std::error_code ignored;
    std::filesystem::remove_all(WorkFolder(prefix), ignored);
}

}  // namespace k3v::bench
