#pragma once
// What every decoder promises, checked after each fuzz input: a refusal leaves the plane alone
// and says why in one line; a decoded picture has its fourth bytes and spare row zero.

#include <cstdio>
#include <cstdlib>

#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v::fuzzing {

inline void FailFuzz(const char* target, const char* what) {
    std::fprintf(stderr, "%s: %s\n", target, what);
    std::abort();
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
