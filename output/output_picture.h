#pragma once
// The picture that is saved for the current layout and source kind, described as rows taken
// from the view planes without copying them. Row 0 is the first stored row, the bottom row of
// the picture, as in both file formats.
//
//   anaglyph, panorama      W x H      the composite (FirstView)
//   anaglyph, still photo   cut x H    FirstView without the stripe the red shift leaves
//                                      invalid: 6 * StereoEffect pixels on the right, or for a
//                                      negative effect 6 * |StereoEffect| pixels on the left
//   side-by-side vertical   W x 2H     FirstView's rows, then SecondView's (first view below)
//   side-by-side horizontal 2W x H     each row of FirstView followed by that of SecondView;
//                                      in the parallel order SecondView's row comes first
//   (separate files: the horizontal pair; each file is one eye's view, W x H)
//
// A half-size pair halves each side-by-side view along the layout's axis: output pixel j of a
// row (of a column, counted from the picture's top) is the per-byte average of pixels 2j and
// 2j + 1, rounded half up; an odd length's last output pixel is its last input pixel.

#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"
#include "output/view_row_source.h"
#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

// The whole stereo image, or one eye's view alone (the left eye's is SecondView).
enum class OutputPart { Whole, LeftEye, RightEye };

class OutputPicture {
  public:
    OutputPicture(const ConversionSettings& settings, const StereoPlanes& planes,
                  OutputPart part = OutputPart::Whole);
    // The same picture of views viewWidth x viewHeight whose rows come from `views` as they
    // are made, each taken once (readRow alone, not row() or contiguous()).
    OutputPicture(const ConversionSettings& settings, int32_t viewWidth, int32_t viewHeight,
                  const ViewRowSource& views, OutputPart part = OutputPart::Whole);

    // The views the picture's rows are made of: the one view (or the anaglyph), or the pair,
    // the one whose rows come first in a row (or, stacked, the lower one) first.
    std::vector<ViewIndex> views() const;
    // Whether one view stands on the other (the vertical layout): all of the lower one's rows
    // come before any of the upper one's.
    bool stacksViews() const { return layout_ == kSideBySideVertical; }

    // 64-bit: a side-by-side pair of views wider (higher) than 2^30 pixels is twice that.
    int64_t width() const { return width_; }
    int64_t height() const { return height_; }

    // The width() pixels of stored row y. May be called from several threads at once.
    void readRow(int32_t y, uint32_t* out) const;

    // The pixels of stored row y: `left`, followed (horizontal layout only) by `right`. Only
    // for pictures that are not halved, whose rows lie in the planes as they are.
    struct Row {
        std::span<const uint32_t> left;
        std::span<const uint32_t> right;
    };
    Row row(int32_t y) const;
    bool halved() const { return halved_; }
    // One view, or the anaglyph, whole: no pair and nothing cut off.
    bool isOneWholeView() const { return layout_ == kAnaglyph && width_ == planeWidth_; }

    // The whole picture as one contiguous block of rows, first stored row first. Points into
    // FirstView when the picture is exactly that plane's rows; otherwise fills `storage`.
    // Fails when the copy cannot be allocated.
    Result<const uint32_t*> contiguous(std::vector<uint32_t>& storage) const;

  private:
    OutputPicture(const ConversionSettings& settings, int32_t viewWidth, int32_t viewHeight,
                  const ViewRowSource* views, OutputPart part);

    void readHalvedRow(int32_t y, uint32_t* out) const;
    // Row y of the view in `first_`'s place (or `second_`'s), from column x on, to out.
    void copyViewRow(bool first, int32_t y, int32_t x, int32_t count, uint32_t* out) const;
    // Row y of that view: in its plane, or taken into `scratch`.
    const uint32_t* viewRow(bool first, int32_t y, uint32_t* scratch) const;

    const uint32_t* first_ = nullptr;
    const uint32_t* second_ = nullptr;
    const ViewRowSource* views_ = nullptr;  // the rows' source when there are no planes
    ViewIndex firstIndex_ = ViewIndex::First;
    ViewIndex secondIndex_ = ViewIndex::Second;
    int32_t planeWidth_ = 0;
    int32_t planeHeight_ = 0;
    int32_t layout_ = kAnaglyph;
    int32_t cutOffset_ = 0;  // first saved column of FirstView (still photo anaglyph)
    bool halved_ = false;
    int64_t width_ = 0;
    int64_t height_ = 0;
};

}  // namespace k3v
