#pragma once
// The six pixel planes of a conversion and the picture size they share.
//
// DecodedImage1/2 hold the pictures as decoded and are never changed by a conversion;
// SourceImage1/2 are working copies that the filters change in place; FirstView/SecondView
// receive the stereo pair (in the anaglyph layout FirstView holds the composite). All six always
// have the same size: SourceWidth x (SourceHeight + 1) pixels.

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "stereo/pixel_plane.h"

namespace k3v {

inline constexpr int32_t kPlaceholderWidth = 1000;
inline constexpr int32_t kPlaceholderHeight = 250;

struct StereoPlanes {
    int32_t SourceWidth = 0;
    int32_t SourceHeight = 0;
    PixelPlane SourceImage1;
    PixelPlane SourceImage2;
    PixelPlane FirstView;
    PixelPlane SecondView;
    PixelPlane DecodedImage1;
    PixelPlane DecodedImage2;
    // A depth map of the first picture's size, one byte m(i) = luma of the map's pixel per
    // pixel index i = y * W + x (rows bottom-up like the planes); empty when there is none.
    std::vector<uint8_t> DepthMap;

    size_t PixelCount() const { return size_t(SourceWidth) * size_t(SourceHeight); }

    // Six zeroed planes of width x height. On failure *this is unchanged.
    Status allocate(int32_t width, int32_t height);
};

// The start-up state: a black 1000 x 250 placeholder picture.
Status MakePlaceholderPlanes(StereoPlanes& planes);

// Whether installing a picture also fills its working copy. A conversion with filters writes
// the whole working copy from the decoded picture and one without reads the decoded picture,
// so the programs, which always convert before they show or save, leave it unfilled and save
// a copy of the picture.
enum class WorkingCopy { Filled, LeftToConversion };

// A freshly decoded first picture replaces the whole picture state: every plane takes its size
// and the second picture is gone, and so is the depth map unless it has the new picture's size.
// `picture` becomes DecodedImage1. On failure (the planes cannot be allocated) nothing changes.
Status InstallFirstPicture(StereoPlanes& planes, PixelPlane&& picture,
                           WorkingCopy copy = WorkingCopy::Filled);

// A second picture is accepted only with exactly the first picture's size. On a refusal the
// message is the user-facing warning text, and nothing changes.
Status InstallSecondPicture(StereoPlanes& planes, PixelPlane&& picture,
                            WorkingCopy copy = WorkingCopy::Filled);

// The refusals of a second picture and of a depth map that has not the first picture's size.
std::string PairSizeMismatch(int32_t width, int32_t height, int32_t secondWidth,
                             int32_t secondHeight);
std::string DepthMapSizeMismatch(int32_t width, int32_t height, int32_t mapWidth,
                                 int32_t mapHeight);

// A decoded depth map, accepted only with exactly the first picture's size: each pixel p
// becomes m = (299 red + 587 green + 114 blue + 500) div 1000. On a refusal the message gives
// both sizes, and nothing changes.
Status InstallDepthMap(StereoPlanes& planes, const PixelPlane& map);

}  // namespace k3v
