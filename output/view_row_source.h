#pragma once
// The rows of the two views when they are not held in planes but made while the save runs
// (a picture converted in bands): an output picture takes each row it needs from here, once.

#include <cstdint>

namespace k3v {

// The two views as StereoPlanes holds them: 0 is FirstView, 1 SecondView.
enum class ViewIndex { First = 0, Second = 1 };

class ViewRowSource {
  public:
    virtual ~ViewRowSource() = default;

    // Copies `count` pixels of row y of `view`, from column x on, to out, waiting until the row
    // is made; the row is then given up, as no row is taken twice. Several threads may take
    // different rows at once. Once the rows can no longer come (the conversion failed), fills
    // `out` with zeros at once: the caller's progress is stopped then, and what it made is not
    // kept.
    virtual void take(ViewIndex view, int32_t y, int32_t x, int32_t count, uint32_t* out) const = 0;
};

}  // namespace k3v
