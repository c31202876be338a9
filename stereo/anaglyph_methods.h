#pragma once
// Anaglyphs for other glasses and with less retinal rivalry than the full-colour red/cyan one.
//
// L is the left-eye pixel, taken s = 6 * StereoEffect pixels further on along the flat index
// (a zero pixel outside the picture), R the right-eye pixel at the output's own index. The
// glasses decide which channels each eye sees: red/cyan red for the left eye, green/magenta
// green, amber/blue red and green; the right eye sees the others. With Y(p) = (299 red +
// 587 green + 114 blue + 500) div 1000:
//   colour       the left eye's channels from L, the right eye's from R
//   half-colour  the left eye's channels get Y(L), the right eye's keep R's colour
//   grey         the left eye's channels get Y(L), the right eye's Y(R)
//   dubois       clamp(0, 255, floor((Ml . L + Mr . R + 500) / 1000)), with the least-squares
//                matrices published by E. Dubois for the glasses, in thousandths
// Every pixel of the picture is composed this way and the fourth byte is 0.

#include <cstddef>
#include <cstdint>

#include "base/progress.h"
#include "stereo/conversion_settings.h"

namespace k3v {

// True for the full-colour red/cyan anaglyph, which keeps its own rules (its first 63 pixels
// stay the right-eye view's, and the left eye's fourth byte comes along with red).
bool IsClassicAnaglyph(const ConversionSettings& settings);

// out[k] for k in [0, n) as the method and glasses of `settings` say. `out` may be `right`.
// Both compositions report to `progress` band by band and return false when it was cancelled
// (`out` then partly written).
bool ComposeAnaglyphMethod(const ConversionSettings& settings, const uint32_t* left,
                           const uint32_t* right, uint32_t* out, ptrdiff_t n,
                           const Progress& progress);

// The same for a 360-degree panorama of rows `width` wide: L is the left-eye pixel at
// (y, (x + s) mod W), for every pixel, the classic anaglyph included (then red and the fourth
// byte come from L, blue and green from R).
bool ComposeAnaglyphWrapped(const ConversionSettings& settings, const uint32_t* left,
                            const uint32_t* right, uint32_t* out, ptrdiff_t width, ptrdiff_t height,
                            const Progress& progress);

// out[i] from the pixel pair left[i], right[i] for i in [0, n), on the calling thread, by any
// method but the classic one: for callers that gather each output pixel's pair themselves.
void ComposeAnaglyphPairs(const ConversionSettings& settings, const uint32_t* left,
                          const uint32_t* right, uint32_t* out, ptrdiff_t n);

// The kernels' name for the classic composition's pixel rule: a value beside the four methods,
// never one a setting holds.
inline constexpr AnaglyphKind kClassicComposition = AnaglyphKind(-1);

}  // namespace k3v
