#pragma once
// Lines up the two pictures of a Standard Stereo pair before the conversion: pairs taken with
// one camera moved sideways, with two cameras on a bar or stitched from two positions differ
// by some pixels vertically, a degree or so of rotation, a percent of scale and some keystone.
// The second picture is corrected to the first, whose pixels are only ever cropped; the
// horizontal offsets between the two, which are the depth, stay as they were.
#include <array>
#include <cstdint>
#include <string>

#include "base/progress.h"
#include "base/result.h"
#include "stereo/pixel_plane.h"

namespace k3v {

struct AlignmentRequest {
    bool align = false;         // --align: correct the second picture (vertical offset, rotation,
                                // scale, keystone); the first is only cropped
    bool stereoWindow = false;  // --stereo-window: shift the views so the nearest point lies
    int32_t windowBehind = 0;   // at the screen plane (auto: 0) or this many pixels behind it
    bool swapEyes = false;      // the first picture is the left eye ("Swap eyes"), which turns
                                // the window's nearest point into the pair's farthest offset
    bool any() const { return align || stereoWindow; }
};

// What was done, for the line below the strip and the batch report.
struct AlignmentOutcome {
    bool aligned = false;        // the second picture was resampled
    double turnedDegrees = 0.0;  // rotation removed
    double scaledPercent = 0.0;  // scale change removed, in percent
    double movedPixels = 0.0;    // vertical offset removed; positive = moved up
    bool keystone = false;       // a projective model was used
    int32_t windowShift = 0;     // horizontal shift of the stereo window, pixels (0 when off)
    int32_t matches = 0;         // matching points kept (inliers)
    int32_t width = 0;           // the views' size after cropping
    int32_t height = 0;
    // "aligned: turned 1.2 deg, scaled 1.5 %, moved 9 px up; cropped to 1240 x 1060"
    // (window only: "stereo window: shifted 14 px; cropped to 1240 x 1060")
    std::string describe() const;
};

// How an aligned pair's views come from the pictures as loaded: the first view is a crop of
// the first picture; the second a crop of the second picture or, aligned, its resampling.
// Positions are the planes' own (rows from the bottom).
struct PairCorrection {
    AlignmentOutcome outcome;  // outcome.width x outcome.height: the views' size
    int32_t firstX = 0;        // the first view's bottom-left pixel in the first picture
    int32_t firstY = 0;
    int32_t secondX = 0;  // the second view's in the second picture, when not resampled
    int32_t secondY = 0;
    std::array<double, 9> toSecond{};  // view pixel to second-picture position, when resampled
};

// What AlignPair finds, the pictures left as they are, so that the views can be made a band
// of rows at a time (SecondViewRows) instead of in place. Fails as AlignPair does.
Result<PairCorrection> FindPairCorrection(const PixelPlane& first, const PixelPlane& second,
                                          const AlignmentRequest& request,
                                          const Progress& progress);

// Rows [from, to) of the second view, counted from the bottom, one after another into `out`,
// on the calling thread.
void SecondViewRows(const PixelPlane& second, const PairCorrection& correction, int32_t from,
                    int32_t to, uint32_t* out);

// Finds matching points of `first` and `second` (same size, Standard Stereo's two pictures),
// and, as `request` asks, resamples `second` once (bicubic or better) to remove its vertical
// offset, rotation, scale and keystone, shifts for the stereo window, and crops both to the
// largest rectangle both fill. Both planes are replaced by the cropped views (same size).
// On failure nothing is changed and the message is
// "cannot align: N matching points, at least M needed" (or another plain reason).
//
// The second picture is the left eye's, the first the right eye's (as the engine's views take
// them), so a point nearer than the screen has its second-picture position right of its
// first-picture one. Angles and offsets are those of the picture as shown: "up" is up there,
// and a positive turn is counterclockwise.
Result<AlignmentOutcome> AlignPair(PixelPlane& first, PixelPlane& second,
                                   const AlignmentRequest& request, const Progress& progress);

}  // namespace k3v
