#include "job/banded_file_conversion.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/memory_probe.h"
#include "input/picture_row_reader.h"
#include "job/view_row_exchange.h"
#include "output/stereo_image_writer.h"
#include "stereo/banded_conversion.h"
#include "stereo/conversion.h"
#include "stereo/stereo_planes.h"

namespace k3v {

namespace {

// Pixels of a band of rows asked from the pictures at a time: enough that the rows the
// filters and views reach across cost little, few enough to stay in the caches' reach.
// Filtered bands are smaller, so that the filters' windows stay in the caches; without
// filters larger bands cost less in the work of starting each.
constexpr int64_t kBandPixels = int64_t(1) << 21;
constexpr int64_t kFilteredBandPixels = int64_t(1) << 19;

// One picture file, read in the conversion's order.
struct OpenPicture {
    std::unique_ptr<PictureFile> file;
    std::unique_ptr<PictureRowReader> reader;
};

// Opens `path` to be read in `order`; nothing (and no error) when only Qt reads it.
Result<std::optional<OpenPicture>> OpenRows(const std::string& path, RowOrder order,
                                            const PictureSizeCheck& sized = nullptr) {
    Result<PictureFile> file = PictureFile::Open(path);
    if (!file) {
        return file.status();
    }
    if (file.value().format() == PictureFormat::Other) {
        return std::optional<OpenPicture>();
    }
    if (sized) {
        const Result<PictureSize> size = file.value().peekSize();
        sized(size ? size.value() : PictureSize{});
    }
    OpenPicture picture;
    picture.file = std::make_unique<PictureFile>(std::move(file).value());
    Result<std::unique_ptr<PictureRowReader>> reader = PictureRowReader::Open(*picture.file, order);
    if (!reader) {
        return reader.status();
    }
    picture.reader = std::move(reader).value();
    return std::optional<OpenPicture>(std::move(picture));
}

// Opens `path` (none when it is empty) to be read beside the first picture, which is `size`:
// a pair's second picture or a depth map. One of another size is refused with `mismatch`'s
// words; one only Qt reads sets `whole`.
Status OpenBeside(const std::string& path, RowOrder order, PictureSize size,
                  const std::function<std::string(PictureSize)>& mismatch,
                  std::optional<OpenPicture>& picture, bool& whole) {
    if (path.empty()) {
        return Status::Ok();
    }
    Result<std::optional<OpenPicture>> opened = OpenRows(path, order);
    if (!opened) {
        return opened.status();
    }
    if (!opened.value()) {
        whole = true;
        return Status::Ok();
    }
    picture = std::move(opened).value();
    const PictureSize other = picture->reader->size();
    if (other.width != size.width || other.height != size.height) {
        return CannotLoad(path, mismatch(other));
    }
    return Status::Ok();
}

// The band [firstRow, firstRow + rowCount) from `reader` into `out`, bottom row first in
// memory whichever order the reader gives them in.
Status ReadBand(PictureRowReader& reader, int32_t rowCount, int32_t width, uint32_t* out) {
    const bool topFirst = reader.order() == RowOrder::TopFirst;
    for (int32_t i = 0; i < rowCount; ++i) {
        const int32_t at = topFirst ? rowCount - 1 - i : i;
        if (Status read = reader.readRows(1, out + size_t(at) * size_t(width)); !read) {
            return read;
        }
    }
    return Status::Ok();
}

// The depth map's band as the conversion takes it: a byte, the pixel's Luma(), per pixel.
Status ReadDepthBand(PictureRowReader& reader, int32_t rowCount, int32_t width,
                     std::vector<uint32_t>& scratch, uint8_t* out) {
    scratch.resize(size_t(rowCount) * size_t(width));
    if (Status read = ReadBand(reader, rowCount, width, scratch.data()); !read) {
        return read;
    }
    for (size_t i = 0; i < scratch.size(); ++i) {
        out[i] = uint8_t(Luma(scratch[i]));
    }
    return Status::Ok();
}

// How the views go from the conversion to the save: the conversion goes in the save's order
// when the settings let it, and a view the save reads later or in the other order waits aside.
ViewRowExchange::Plan ExchangePlan(const OutputTarget& target, int32_t width, int32_t height,
                                   int32_t bandRows) {
    const ViewReading reading = ViewReadingOf(target);
    ViewRowExchange::Plan plan;
    plan.width = width;
    plan.height = height;
    plan.made = reading.order == RowOrder::TopFirst && !CanConvertTopFirst(target.settings())
                    ? RowOrder::BottomFirst
                    : reading.order;
    const bool reversed = plan.made != reading.order;
    for (size_t v = 0; v < 2; ++v) {
        plan.keep[v] = !reading.read[v]               ? ViewRowExchange::Keep::None
                       : reversed || reading.later[v] ? ViewRowExchange::Keep::Aside
                                                      : ViewRowExchange::Keep::Ring;
    }
    plan.ringRows = std::clamp(2 * bandRows, 2, std::max(height, 2));
    return plan;
}

// Views waiting aside are held in memory up to this much (and a quarter of the memory
// there is), which spares a picture of up to about 250 megapixels the disk.
constexpr uint64_t kAsideInMemoryBytes = uint64_t(1) << 30;

uint64_t AsideBytes(const ViewRowExchange::Plan& plan) {
    const auto aside = std::count(plan.keep.begin(), plan.keep.end(), ViewRowExchange::Keep::Aside);
    return uint64_t(aside) * uint64_t(plan.width) * uint64_t(plan.height) * 4;
}

// What the conversion and the rings hold at most: two windows of rows for each picture (as read
// and as filtered), the views' window, a byte a pixel of the depth map, and a ring per view.
uint64_t BandedBytes(const ConversionSettings& settings, const BandedPicture& picture,
                     const ViewRowExchange::Plan& plan) {
    const uint64_t width = uint64_t(picture.width);
    const uint64_t rows = uint64_t(picture.bandRows + BandedMarginRows(settings, picture.width));
    const uint64_t windows = settings.TransformationMode == kStandardStereo ? 6 : 4;
    uint64_t rings = 0;
    for (const ViewRowExchange::Keep keep : plan.keep) {
        rings += keep == ViewRowExchange::Keep::Ring ? uint64_t(plan.ringRows) : 0;
    }
    return width * (rows * (windows * 4 + (picture.depthMap ? 1 : 0)) + rings * 4) +
           (plan.asideInMemory ? AsideBytes(plan) : 0);
}

// The conversion on a thread of its own; the destructor stops the save's side and waits for
// it, however the save ended.
class Maker {
  public:
    Maker(ViewRowExchange& exchange, std::function<Status()> work) : exchange_(exchange) {
        thread_ = std::thread([this, work = std::move(work)] {
            try {
                made_ = work();
            } catch (...) {
                thrown_ = std::current_exception();
                made_ = Status::Error("the conversion stopped");
            }
            exchange_.finish(made_);
        });
    }
    ~Maker() { wait(); }
    Maker(const Maker&) = delete;
    Maker& operator=(const Maker&) = delete;

    // Waits for the conversion, passing on what it threw.
    Status join() {
        wait();
        if (thrown_) {
            std::rethrow_exception(std::exchange(thrown_, nullptr));
        }
        return made_;
    }

  private:
    void wait() {
        if (thread_.joinable()) {
            exchange_.stop();
            thread_.join();
        }
    }

    ViewRowExchange& exchange_;
    std::thread thread_;
    Status made_ = Status::Ok();
    std::exception_ptr thrown_;
};

}  // namespace

std::optional<Status> ConvertFilesInBands(const BandedFiles& files, const OutputTarget& target,
                                          const PhotoMetadata& metadata,
                                          const PictureSizeCheck& sized, const Progress& progress,
                                          int32_t& width, int32_t& height, const BandSizes& sizes) {
    const ConversionSettings& settings = target.settings();
    if (target.format() == OutputFormat::Unknown) {
        return Status::Error(UnknownFormatMessage(target.path()));
    }
    // The order is settled before any picture is opened; the band's height needs the width.
    const ViewRowExchange::Plan order = ExchangePlan(target, 1, 1, 1);
    Result<std::optional<OpenPicture>> first =
        !files.firstRows
            ? OpenRows(files.first, order.made, sized)
            : std::optional<OpenPicture>(OpenPicture{nullptr, files.firstRows(order.made)});
    if (!first) {
        return first.status();
    }
    if (!first.value()) {
        return std::nullopt;
    }
    PictureRowReader& firstRows = *first.value()->reader;
    const PictureSize size = firstRows.size();
    bool whole = false;  // a picture beside the first cannot be read in bands
    std::optional<OpenPicture> depth;
    if (Status opened = OpenBeside(
            files.depthMap, order.made, size,
            [&](PictureSize map) {
                return DepthMapSizeMismatch(size.width, size.height, map.width, map.height);
            },
            depth, whole);
        !opened || whole) {
        return whole ? std::nullopt : std::optional<Status>(opened);
    }
    width = size.width;
    height = size.height;
    std::optional<OpenPicture> second;
    if (files.secondRows) {
        second = OpenPicture{nullptr, files.secondRows(order.made)};
    } else if (Status opened = OpenBeside(
                   files.second, order.made, size,
                   [&](PictureSize other) {
                       return OnOneLine(
                           PairSizeMismatch(size.width, size.height, other.width, other.height));
                   },
                   second, whole);
               !opened || whole) {
        return whole ? std::nullopt : std::optional<Status>(opened);
    }

    BandedPicture picture;
    picture.width = size.width;
    picture.height = size.height;
    picture.depthMap = depth.has_value();
    picture.order = order.made;
    picture.bandRows = sizes.bandRows > 0
                           ? sizes.bandRows
                           : int32_t(std::clamp<int64_t>(
                                 (AnyFilter(settings) ? kFilteredBandPixels : kBandPixels) /
                                     std::max(size.width, 1),
                                 16, std::max(size.height, 1)));
    ViewRowExchange::Plan plan = ExchangePlan(target, size.width, size.height, picture.bandRows);
    if (sizes.ringRows > 0) {
        plan.ringRows = sizes.ringRows;
    }
    plan.asideInMemory = sizes.asideInMemory.value_or(
        AsideBytes(plan) <= std::min(kAsideInMemoryBytes, AvailableMemoryBytes() / 4));
    if (Status fits = CheckBytesFit(size.width, size.height, BandedBytes(settings, picture, plan));
        !fits) {
        return CannotLoad(files.first, fits.message());
    }
    ViewRowExchange exchange(plan);
    const std::string folder = std::filesystem::path(target.files().front()).parent_path().string();
    if (Status opened = exchange.open(folder.empty() ? "." : folder, target.path()); !opened) {
        return std::nullopt;
    }

    std::vector<uint32_t> depthScratch;
    const RowSource source = [&](const InputRows& rows) -> Status {
        if (Status read = ReadBand(firstRows, rows.rowCount, rows.width, rows.first); !read) {
            return read;
        }
        if (rows.second != nullptr) {
            if (Status read = ReadBand(*second->reader, rows.rowCount, rows.width, rows.second);
                !read) {
                return read;
            }
        }
        if (rows.depth != nullptr) {
            return ReadDepthBand(*depth->reader, rows.rowCount, rows.width, depthScratch,
                                 rows.depth);
        }
        return Status::Ok();
    };
    const ViewSink sink = [&](const ViewRows& rows) { return exchange.put(rows); };

    std::optional<Maker> maker;
    try {
        maker.emplace(exchange, [&] { return ConvertBands(settings, picture, source, sink); });
    } catch (const std::system_error&) {
        return std::nullopt;  // no thread to be had: converted whole on this one
    }
    const Status written = WriteStereoImage(target, size.width, size.height, exchange, metadata,
                                            progress.stoppedBy(exchange.failed()));
    const Status made = maker->join();
    if (!made && !made.cancelled()) {
        return made;
    }
    if (!written && exchange.failed()->load()) {
        return exchange.failure();
    }
    return written;
}

}  // namespace k3v
