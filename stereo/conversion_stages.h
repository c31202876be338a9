#pragma once
// The names a conversion reports its stages under (base/progress.h), for whoever shows them.
// Compare them as strings.

namespace k3v {

inline constexpr char kSharpenStage[] = "sharpen";
inline constexpr char kNoiseStage[] = "noise";
inline constexpr char kToneStage[] = "brightness-contrast";
// Building the two views (displaced, or copies of the pictures).
inline constexpr char kSynthesisStage[] = "synthesis";
// The anaglyph from the two views; when the anaglyph is made straight from the picture,
// without building the views first, this is the one stage after the filters.
inline constexpr char kCompositionStage[] = "composition";

}  // namespace k3v
