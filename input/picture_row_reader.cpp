#include "input/picture_row_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "input/bmp_file_decoder.h"
#include "input/jpeg_file_decoder.h"
#include "input/png_file_decoder.h"
#include "input/pnm_file_decoder.h"
#include "input/tiff_file_decoder.h"

namespace k3v {

PictureRowReader::~PictureRowReader() = default;

Result<std::unique_ptr<PictureRowReader>> PictureRowReader::Open(const PictureFile& file,
                                                                 RowOrder order,
                                                                 const Progress& progress) {
    std::unique_ptr<PictureRowReader> reader(new PictureRowReader(file.path(), order));
    const PictureFormat format = file.format();
    if (format == PictureFormat::Other) {
        return CannotLoad(file.path(), "its format cannot be read in bands");
    }
    const bool topFirst = order == RowOrder::TopFirst;
    Result<std::unique_ptr<RowBands>> bands = std::unique_ptr<RowBands>();
    if (format == PictureFormat::Tiff) {
        bands = OpenTiffRows(file.fd_, file.path(), !topFirst);
    } else if (format == PictureFormat::Bmp || format == PictureFormat::Pnm ||
               (topFirst && (format == PictureFormat::Jpeg || format == PictureFormat::Png))) {
        OwnedStream stream = StreamOf(file.fd_);
        if (!stream) {
            return CannotLoad(file.path(), std::strerror(errno));
        }
        switch (format) {
            case PictureFormat::Jpeg:
                bands = OpenJpegRows(std::move(stream));
                break;
            case PictureFormat::Png:
                bands = OpenPngRows(std::move(stream));
                break;
            case PictureFormat::Bmp:
                bands = OpenBmpRows(std::move(stream), !topFirst);
                break;
            default:
                bands = OpenPnmRows(std::move(stream), !topFirst);
                break;
        }
    }
    if (!bands) {
        return CannotLoad(file.path(), bands.message());
    }
    reader->bands_ = std::move(bands).value();
    if (reader->bands_) {
        reader->size_ = reader->bands_->size();
    } else {
        if (Status decoded = file.decode(reader->whole_, progress); !decoded) {
            return decoded;
        }
        reader->size_ = {reader->whole_.width(), reader->whole_.height()};
    }
    return reader;
}

Status PictureRowReader::readRows(int32_t count, uint32_t* out) {
    if (!failure_) {
        return failure_;
    }
    if (count < 1 || count > rowsLeft()) {
        return Status::Error("rows " + std::to_string(rowsRead_) + " to " +
                             std::to_string(int64_t(rowsRead_) + count) + " of \"" + path_ +
                             "\" are asked for, but it has " + std::to_string(size_.height));
    }
    if (bands_) {
        if (Status read = bands_->read(count, out); !read) {
            failure_ = CannotLoad(path_, read.message());
            return failure_;
        }
    } else {
        const auto width = size_t(size_.width);
        for (int32_t i = 0; i < count; ++i) {
            // The plane holds the bottom row first.
            const int32_t y =
                order_ == RowOrder::BottomFirst ? rowsRead_ + i : size_.height - 1 - rowsRead_ - i;
            const uint32_t* row = whole_.row(y);
            std::copy(row, row + width, out + size_t(i) * width);
        }
    }
    rowsRead_ += count;
    return Status::Ok();
}

}  // namespace k3v
