#pragma once
// What every decoder promises, checked after each fuzz input: a refusal leaves the plane alone
// and says why in one line; a decoded picture has its fourth bytes and spare row zero.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v::fuzzing {

inline void FailFuzz(const char* target, const char* what) {
    std::fprintf(stderr, "%s: %s\n", target, what);
    std::abort();
}

// For decoders that read files: each input goes to one file of this process in $TMPDIR (or
// /tmp), named for the target on the first call, removed at exit.
inline const std::string& FuzzInputPath(const char* target, const char* ending) {
    static const std::string path = [&] {
        const char* folder = std::getenv("TMPDIR");
        return std::string(folder != nullptr ? folder : "/tmp") + "/k3v-" + target + "-" +
               std::to_string(getpid()) + ending;
    }();
    // Registered once the name exists, so that it runs before the name is destroyed.
    static const bool removedAtExit = std::atexit([] { std::remove(path.c_str()); }) == 0;
    (void)removedAtExit;
    return path;
}

inline void WriteFuzzInput(const char* target, const std::string& path, const uint8_t* data,
                           size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
        std::fclose(file) != 0) {
        FailFuzz(target, "cannot write the input file");
    }
}

inline void CheckDecoded(const char* target, const Status& decoded, const PixelPlane& plane) {
    if (!decoded) {
        if (!plane.empty() || decoded.message().size() < 8 ||
            decoded.message().find('\n') != std::string::npos) {
            FailFuzz(target, "a refusal must leave the plane alone and give a one-line reason");
        }
        return;
    }
    if (plane.empty() || plane.width() < 1 || plane.height() < 1) {
        FailFuzz(target, "a decoded picture has no pixels");
    }
    for (size_t i = 0; i < plane.storedCount(); ++i) {
        if ((plane.data()[i] >> 24) != 0 || (i >= plane.pixelCount() && plane.data()[i] != 0)) {
            FailFuzz(target,
                     "a decoded pixel has a stray fourth byte or the spare row is not zero");
        }
    }
}

}  // namespace k3v::fuzzing
