#pragma once
// A picture's rows handed out in bands, for converting pictures too large to hold whole. The
// pixels are those DecodePictureFile (picture_decoder.h) gives, row for row: byte 0 blue, 1
// green, 2 red, 3 zero, transparency over black, the picture turned upright.
//
// Read in bands, holding only what the format needs (libjpeg's and libpng's own buffers, a
// row, a strip or a row of tiles):
// - JPEG in one scan (baseline), upright as stored, top row first;
// - PNG without interlacing, upright as stored, top row first;
// - TIFF striped or tiled of the kinds its decoder converts itself (8- and 16-bit grey, RGB
//   and palette, alpha, JPEG-coded YCbCr), stored upright, either order (bottom row first a
//   strip at a time, as a compressed strip decodes only from its start: a file stored in one
//   strip is held whole then);
// - BMP and binary PGM/PPM of the layouts their decoders read, either order, from the rows'
//   places in the file.
// - JPEG and PNG of those kinds asked for bottom row first: decoded from the top into a
//   temporary file without a name (in $TMPDIR or /tmp, three bytes a pixel) at the first read,
//   then read back from the bottom up;
// Decoded whole, the bands then served from the picture (so memory for all of it):
// - a JPEG of many scans (progressive), an interlaced PNG, and a JPEG or PNG to be turned
//   round when no temporary file can be made;
// - any picture that a photo's orientation (EXIF, eXIf chunk, TIFF tag) turns;
// - TIFF kinds read through libtiff's RGBA interface (CMYK, bilevel, separate planes, ...).
// Not read at all: what goes through Qt's image readers (GIF, WebP, text PNM, ...); Open
// refuses it.
//
// A PNG whose eXIf chunk comes after its pixels turns the picture too late: its last band
// fails.

#include <cstdint>
#include <memory>
#include <string>

#include "base/progress.h"
#include "base/result.h"
#include "base/row_order.h"
#include "base/status.h"
#include "input/picture_file.h"
#include "input/row_bands.h"
#include "stereo/pixel_plane.h"

namespace k3v {

class PictureRowReader {
  public:
    // Reads `file`, which must outlive the reader and be used by nothing else meanwhile, in
    // `order`. Fails as DecodePictureFile words it ("Cannot load "<path>": <reason>") when the
    // header is damaged or the picture cannot be decoded, and when it is of a format only Qt
    // reads: "its format cannot be read in bands". A picture decoded whole is decoded here,
    // reporting to `progress`, and Open fails with Status::Cancelled() once that is cancelled.
    static Result<std::unique_ptr<PictureRowReader>> Open(const PictureFile& file, RowOrder order,
                                                          const Progress& progress = {});

    // Rows made elsewhere (an aligned pair's views, say), handed out in `order`, which `rows`
    // must give them in; `path` names the picture in messages.
    static std::unique_ptr<PictureRowReader> OfRows(std::string path,
                                                    std::unique_ptr<RowBands> rows, RowOrder order);

    PictureRowReader(const PictureRowReader&) = delete;
    PictureRowReader& operator=(const PictureRowReader&) = delete;
    ~PictureRowReader();

    PictureSize size() const { return size_; }
    RowOrder order() const { return order_; }
    // Whether the picture was decoded whole, not read in bands.
    bool decodedWhole() const { return bands_ == nullptr; }
    // Rows not yet read.
    int32_t rowsLeft() const { return size_.height - rowsRead_; }

    // The next `count` rows (1 to rowsLeft()) in the reader's order, each size().width pixels,
    // one after the other into `out`. A damaged or cut file fails in the band that reaches the
    // fault, worded as DecodePictureFile words it; after a failure every read fails.
    Status readRows(int32_t count, uint32_t* out);

  private:
    PictureRowReader(std::string path, RowOrder order) : path_(std::move(path)), order_(order) {}

    std::string path_;
    RowOrder order_;
    PictureSize size_;
    int32_t rowsRead_ = 0;
    std::unique_ptr<RowBands> bands_;  // null: the rows come from `whole_`
    PixelPlane whole_;
    Status failure_ = Status::Ok();
};

}  // namespace k3v
