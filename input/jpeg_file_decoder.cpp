#include "input/jpeg_file_decoder.h"

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "base/memory_probe.h"
#include "base/progress.h"
#include "base/thread_runner.h"
#include "input/exif_orientation.h"
#include "input/jpeg_pread_source.h"
#include "input/page_prefault.h"

namespace k3v {

namespace {

constexpr int32_t kRowsPerRead = 16;
// A second reader of the file pays off from two of these per reader.
constexpr size_t kMinPixelsPerReader = size_t(2) << 20;

// libjpeg reports errors by calling error_exit, which must not return: it jumps back to the
// stage that started the work. Only plain data lives in the frames it jumps over.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ExitWithError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (level -1) mean damaged data; the file is refused rather than half converted.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        ExitWithError(cinfo);
    }
}

// The decode's progress, shared by its readers: the caller's Progress, the rows made so far,
// and whether the caller cancelled. A file of many scans is read whole before its first row
// comes out; libjpeg's progress monitor tells how far that has come (the first part of the
// decode) and is where a cancel stops it.
struct Reporting {
    jpeg_progress_mgr monitor{};  // first, so that libjpeg's pointer to it is a pointer to this
    const Progress* progress = nullptr;
    int32_t height = 0;
    double rowsFrom = 0.0;  // the part of the decode that comes before the rows
    std::atomic<int32_t> rows{0};
    std::atomic<bool> cancelled{false};

    // `count` more rows are made; false when the decode is to stop.
    bool madeRows(int32_t count) {
        const int32_t made = rows.fetch_add(count, std::memory_order_relaxed) + count;
        progress->report(rowsFrom + (1.0 - rowsFrom) * double(made) / double(height));
        if (progress->cancelled()) {
            cancelled.store(true, std::memory_order_relaxed);
        }
        return !cancelled.load(std::memory_order_relaxed);
    }
};

// The scans' share of a decode of many scans: their entropy decoding costs most of it.
constexpr double kScansShare = 0.8;

void MonitorScans(j_common_ptr cinfo) {
    auto* reporting = reinterpret_cast<Reporting*>(cinfo->progress);
    const jpeg_progress_mgr& m = reporting->monitor;
    if (m.pass_counter > 0 && m.pass_limit > 0) {
        reporting->progress->report(kScansShare *
                                    std::min(1.0, double(m.pass_counter) / double(m.pass_limit)));
    }
    if (reporting->progress->cancelled()) {
        reporting->cancelled.store(true, std::memory_order_relaxed);
        std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    }
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    int orientation = 1;
    bool cmyk = false;
    Reporting* reporting = nullptr;
};

bool ReadHeader(Decoder& d, std::FILE* file) {
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    jpeg_stdio_src(&d.cinfo, file);
    jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&d.cinfo, TRUE);
    for (jpeg_saved_marker_ptr m = d.cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            d.orientation = ExifOrientation(m->data, m->data_length);
            if (d.orientation != 1) {
                break;
            }
        }
    }
    d.cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
    d.cinfo.out_color_space = d.cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

// Adobe CMYK files store inverted inks; either way the colour is ink times black.
uint32_t CmykToPixel(const uint8_t* cmyk, bool inverted) {
    const uint32_t c = inverted ? cmyk[0] : 255u - cmyk[0];
    const uint32_t m = inverted ? cmyk[1] : 255u - cmyk[1];
    const uint32_t y = inverted ? cmyk[2] : 255u - cmyk[2];
    const uint32_t k = inverted ? cmyk[3] : 255u - cmyk[3];
    const uint32_t r = (c * k + 127) / 255;
    const uint32_t g = (m * k + 127) / 255;
    const uint32_t b = (y * k + 127) / 255;
    return b | g << 8 | r << 16;
}

// A decoded row as plane pixels, in place. A CMYK row needs room for four bytes per pixel,
// which a plane row has.
void FinishRow(const Decoder& d, uint32_t* row, size_t width) {
    if (d.cmyk) {
        const bool inverted = d.cinfo.saw_Adobe_marker != 0;
        const auto* bytes = reinterpret_cast<const uint8_t*>(row);
        for (size_t x = 0; x < width; ++x) {
            row[x] = CmykToPixel(bytes + 4 * x, inverted);
        }
    } else {
        for (size_t x = 0; x < width; ++x) {
            row[x] &= 0x00FFFFFFu;  // the fourth byte carries no meaning; keep it zero
        }
    }
}

// Decoded rows [from, to) counted from the top, into their places in the bottom-up plane;
// false when the decode is cancelled. Runs inside a stage that set the decoder's jump.
bool ReadScanlines(Decoder& d, PixelPlane& plane, int32_t from, int32_t to) {
    const int32_t height = plane.height();
    const size_t width = size_t(plane.width());
    JSAMPROW rows[kRowsPerRead];
    for (int32_t top = from; top < to; top = int32_t(d.cinfo.output_scanline)) {
        const int32_t count = std::min(to - top, kRowsPerRead);
        for (int32_t i = 0; i < count; ++i) {
            rows[i] = reinterpret_cast<JSAMPROW>(plane.row(height - 1 - top - i));
        }
        const auto got = int32_t(jpeg_read_scanlines(&d.cinfo, rows, JDIMENSION(count)));
        for (int32_t i = 0; i < got; ++i) {
            FinishRow(d, plane.row(height - 1 - top - i), width);
        }
        if (!d.reporting->madeRows(got)) {
            return false;
        }
    }
    return true;
}

// The rows of a picture shared by two readers of its file: the top reader takes rows from the
// top a few at a time, up to the row where the bottom reader begins once that is settled.
class RowSplit {
  public:
    explicit RowSplit(int32_t split) : split_(split) {}

    // The end of the next rows for the top reader from `from` on; `from` itself at the split.
    int32_t claim(int32_t from) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const int32_t to = std::max(from, std::min(from + kRowsPerRead, split_));
        claimed_ = std::max(claimed_, to);
        return to;
    }
    int32_t claimed() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return claimed_;
    }
    // The bottom reader begins at `row`, or below the rows the top reader already has.
    int32_t settle(int32_t row) {
        const std::lock_guard<std::mutex> lock(mutex_);
        split_ = std::max(row, claimed_);
        return split_;
    }

    std::atomic<bool> topFailed{false};

  private:
    std::mutex mutex_;
    int32_t split_;
    int32_t claimed_ = 0;
};

bool ReadTop(Decoder& d, PixelPlane& plane, RowSplit& split) {
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    if (jpeg_has_multiple_scans(&d.cinfo)) {
        d.reporting->rowsFrom = kScansShare;
        d.cinfo.progress = &d.reporting->monitor;
    }
    jpeg_start_decompress(&d.cinfo);
    d.cinfo.progress = nullptr;  // the rows are reported as they come
    for (;;) {
        const auto from = int32_t(d.cinfo.output_scanline);
        const int32_t to = split.claim(from);
        if (to == from) {
            break;
        }
        if (!ReadScanlines(d, plane, from, to)) {
            return false;
        }
    }
    // Alone, the top reader checks the rest of the file too; else the bottom reader does.
    if (d.cinfo.output_scanline == d.cinfo.output_height) {
        jpeg_finish_decompress(&d.cinfo);
    }
    return true;
}

int32_t RoundUp(int32_t value, int32_t step) {
    return (value + step - 1) / step * step;
}

// The bottom reader, its source already set. It entropy-decodes the rows above its own without
// making their pixels, which costs a fraction of decoding them, and decodes from the row where
// both readers would finish together. That row moves with the top reader's progress, so it is
// chosen on the way down; `fixedRow` > 0 sets it instead.
bool ReadBottom(Decoder& d, const Decoder& top, PixelPlane& plane, RowSplit& split,
                int32_t fixedRow) {
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    jpeg_read_header(&d.cinfo, TRUE);
    d.cinfo.out_color_space = top.cinfo.out_color_space;
    d.cmyk = top.cmyk;
    jpeg_start_decompress(&d.cinfo);
    const int32_t height = plane.height();
    if (int32_t(d.cinfo.output_width) != plane.width() ||
        int32_t(d.cinfo.output_height) != height) {
        std::snprintf(d.errors.message, sizeof d.errors.message,
                      "the file changed while it was being read");
        return false;
    }
    const int32_t rowsPerStep = int32_t(d.cinfo.max_v_samp_factor * DCTSIZE);
    int32_t position = 0;
    int32_t row = fixedRow;
    if (fixedRow <= 0) {
        // A skip ends with a fully decoded group of rows: a few long steps keep that small.
        const int32_t step = RoundUp(std::max(1, height / 16), rowsPerStep);
        for (;;) {
            const int32_t claimed = split.claimed();
            row = RoundUp((height + claimed) / 2, rowsPerStep);
            // The top reader has every row when this reader's thread could not start at once.
            if (claimed >= height || row <= position + step ||
                split.topFailed.load(std::memory_order_relaxed)) {
                break;
            }
            jpeg_skip_scanlines(&d.cinfo, JDIMENSION(step));
            position += step;
        }
    }
    row = split.settle(std::min(row, height));
    if (row >= height || split.topFailed.load(std::memory_order_relaxed)) {
        return true;
    }
    if (row > position) {
        jpeg_skip_scanlines(&d.cinfo, JDIMENSION(row - position));
    }
    for (int32_t from = row; from < height; from += kRowsPerRead) {
        if (split.topFailed.load(std::memory_order_relaxed)) {
            return true;
        }
        if (!ReadScanlines(d, plane, from, std::min(height, from + kRowsPerRead))) {
            return false;
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

void Prepare(Decoder& d, Reporting& reporting) {
    d.reporting = &reporting;
    d.cinfo.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = ExitWithError;
    d.errors.base.emit_message = EmitMessage;
    d.errors.message[0] = '\0';
    jpeg_create_decompress(&d.cinfo);
}

std::string Reason(const Decoder& d) {
    return d.errors.message[0] != '\0' ? d.errors.message : "the JPEG data is damaged";
}

// Decodes the whole picture into `decoded`, by one reader or two; the reason on failure.
// `offset` is where the file's JPEG data begins. `secondRow` < 0 asks for one reader. When only
// the second reader fails, *secondFailed says so: its reason is worded from where it started
// reading (libjpeg counts the bytes it skipped), so the caller asks one reader for the reason
// one reader gives.
std::string ReadPixels(Decoder& d, std::FILE* file, off_t offset, PixelPlane& decoded,
                       int32_t secondRow, bool* secondFailed) {
    const int32_t height = decoded.height();
    const int fd = fileno(file);
    // Pixels come out of a file of many scans only once all of them are read: one reader then.
    const bool two = secondRow >= 0 && fd >= 0 && offset >= 0 &&
                     jpeg_has_multiple_scans(&d.cinfo) == FALSE && height > 1 &&
                     (secondRow > 0 || ThreadsFor(decoded.pixelCount(), kMinPixelsPerReader) > 1);
    if (!two) {
        RowSplit alone(height);
        return ReadTop(d, decoded, alone) ? std::string() : Reason(d);
    }
    RowSplit split(secondRow > 0 ? std::min(secondRow, height) : height);
    Decoder bottom;
    Prepare(bottom, *d.reporting);
    const auto source = std::make_unique<JpegPreadSource>();
    UseJpegPreadSource(&bottom.cinfo, *source, fd, offset);
    bool ok[2] = {false, false};
    RunOnThreads(2, [&](int reader) {
        if (reader == 0) {
            ok[0] = ReadTop(d, decoded, split);
            split.topFailed.store(!ok[0], std::memory_order_relaxed);
        } else {
            ok[1] = ReadBottom(bottom, d, decoded, split, secondRow);
        }
    });
    // The top reader meets a fault first, as one reader would.
    const std::string reason = !ok[0] ? Reason(d) : !ok[1] ? Reason(bottom) : std::string();
    *secondFailed = ok[0] && !ok[1];
    jpeg_destroy_decompress(&bottom.cinfo);
    return reason;
}

Status DecodeFrom(std::FILE* file, off_t offset, PixelPlane& plane, int32_t secondRow,
                  const Progress& progress, bool* secondFailed) {
    Reporting reporting;
    reporting.monitor.progress_monitor = MonitorScans;
    reporting.progress = &progress;
    Decoder d;
    Prepare(d, reporting);
    bool ok = ReadHeader(d, file);
    std::string reason;
    PixelPlane decoded;
    if (ok) {
        const JDIMENSION w = d.cinfo.output_width;
        const JDIMENSION h = d.cinfo.output_height;
        // Two planes when the picture must be turned upright afterwards.
        Status fits = CheckPlanesFit(int32_t(w), int32_t(h), d.orientation == 1 ? 1 : 2);
        if (fits) {
            fits = decoded.allocate(int32_t(w), int32_t(h));
        }
        reporting.height = int32_t(h);
        if (!fits) {
            reason = fits.message();
        } else {
            const PagePrefault prefault(decoded.data(), decoded.storedCount() * sizeof(uint32_t));
            reason = ReadPixels(d, file, offset, decoded, secondRow, secondFailed);
        }
        ok = reason.empty();
    } else {
        reason = Reason(d);
    }
    jpeg_destroy_decompress(&d.cinfo);
    if (reporting.cancelled.load(std::memory_order_relaxed)) {
        return Status::Cancelled();
    }
    if (!ok) {
        return Status::Error(reason);
    }
    return InstallUpright(std::move(decoded), d.orientation, plane);
}

Status Decode(std::FILE* file, PixelPlane& plane, int32_t secondRow, const Progress& progress) {
    const off_t offset = ftello(file);
    bool secondFailed = false;
    Status status = DecodeFrom(file, offset, plane, secondRow, progress, &secondFailed);
    // A damaged file is refused for the reason one reader gives, however it was split.
    if (secondFailed && fseeko(file, offset, SEEK_SET) == 0) {
        status = DecodeFrom(file, offset, plane, -1, progress, &secondFailed);
    }
    return status;
}

// The next `count` rows, top row first, into `out`; after the last one the rest of the file
// is checked, as a whole decode checks it. Runs in its own stage, with only plain data.
bool ReadNextRows(Decoder& d, int32_t count, uint32_t* out) {
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    const size_t width = d.cinfo.output_width;
    JSAMPROW rows[kRowsPerRead];
    for (int32_t done = 0; done < count;) {
        const int32_t ask = std::min(count - done, kRowsPerRead);
        for (int32_t i = 0; i < ask; ++i) {
            rows[i] = reinterpret_cast<JSAMPROW>(out + size_t(done + i) * width);
        }
        const auto got = int32_t(jpeg_read_scanlines(&d.cinfo, rows, JDIMENSION(ask)));
        if (got <= 0) {
            return false;
        }
        for (int32_t i = 0; i < got; ++i) {
            FinishRow(d, out + size_t(done + i) * width, width);
        }
        done += got;
    }
    if (d.cinfo.output_scanline == d.cinfo.output_height) {
        jpeg_finish_decompress(&d.cinfo);
    }
    return true;
}

bool StartRows(Decoder& d) {
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    jpeg_start_decompress(&d.cinfo);
    return true;
}

// One reader of a file in one scan, stored upright, top row first.
class JpegRows final : public RowBands {
  public:
    explicit JpegRows(OwnedStream file) : file_(std::move(file)) { Prepare(d_, reporting_); }
    ~JpegRows() override { jpeg_destroy_decompress(&d_.cinfo); }

    // Null (and Ok) when the file is to be decoded whole.
    static Result<std::unique_ptr<RowBands>> Open(OwnedStream file) {
        auto rows = std::make_unique<JpegRows>(std::move(file));
        Decoder& d = rows->d_;
        if (!ReadHeader(d, rows->file_.get())) {
            return Status::Error(Reason(d));
        }
        if (d.orientation != 1 || jpeg_has_multiple_scans(&d.cinfo)) {
            return std::unique_ptr<RowBands>();
        }
        if (!StartRows(d)) {
            return Status::Error(Reason(d));
        }
        return std::unique_ptr<RowBands>(std::move(rows));
    }

    PictureSize size() const override {
        return {int32_t(d_.cinfo.output_width), int32_t(d_.cinfo.output_height)};
    }

    Status read(int32_t count, uint32_t* out) override {
        if (failed_ || !ReadNextRows(d_, count, out)) {
            failed_ = true;
            return Status::Error(Reason(d_));
        }
        return Status::Ok();
    }

  private:
    OwnedStream file_;
    Reporting reporting_;
    Decoder d_;
    bool failed_ = false;
};

}  // namespace

Status DecodeJpegFile(std::FILE* file, PixelPlane& plane, const Progress& progress) {
    return Decode(file, plane, 0, progress);
}

Result<std::unique_ptr<RowBands>> OpenJpegRows(OwnedStream file) {
    return JpegRows::Open(std::move(file));
}

Status DecodeJpegFileInTwo(std::FILE* file, PixelPlane& plane, int32_t secondReaderRow) {
    return Decode(file, plane, std::max(1, secondReaderRow), Progress());
}

}  // namespace k3v
