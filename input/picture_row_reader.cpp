#include "input/picture_row_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "base/nameless_file.h"
#include "input/bmp_file_decoder.h"
#include "input/jpeg_file_decoder.h"
#include "input/png_file_decoder.h"
#include "input/pnm_file_decoder.h"
#include "input/tiff_file_decoder.h"

namespace k3v {

namespace {

// Rows that a decoder gives from the top only, handed out from the bottom: at the first read
// they are all decoded into a file without a name, three bytes a pixel, and then read back
// from its end. Memory holds a band of rows; the disk holds the picture.
class RowsTurnedRound final : public RowBands {
  public:
    RowsTurnedRound(std::unique_ptr<RowBands> topFirst, int fd)
        : topFirst_(std::move(topFirst)), fd_(fd), size_(topFirst_->size()) {}
    ~RowsTurnedRound() override { ::close(fd_); }

    PictureSize size() const override { return size_; }

    Status read(int32_t count, uint32_t* out) override {
        if (!putAside_) {
            if (Status put = putAside(); !put) {
                return put;
            }
            putAside_ = true;
        }
        const size_t width = size_t(size_.width);
        bytes_.resize(width * 3);
        for (int32_t i = 0; i < count; ++i, ++served_) {
            const int64_t fromTop = int64_t(size_.height) - 1 - served_;
            if (!ReadAllAt(fd_, bytes_.data(), bytes_.size(), off_t(fromTop) * off_t(width * 3))) {
                return Status::Error(std::string("its rows could not be read back: ") +
                                     std::strerror(errno));
            }
            uint32_t* row = out + size_t(i) * width;
            for (size_t x = 0; x < width; ++x) {
                row[x] = uint32_t(bytes_[3 * x]) | uint32_t(bytes_[3 * x + 1]) << 8 |
                         uint32_t(bytes_[3 * x + 2]) << 16;
            }
        }
        return Status::Ok();
    }

  private:
    // Every row, from the top, a band at a time. Decoded pixels have a zero fourth byte.
    Status putAside() {
        const size_t width = size_t(size_.width);
        const int32_t band = int32_t(std::max<size_t>(1, (size_t(1) << 20) / width));
        std::vector<uint32_t> rows(size_t(band) * width);
        for (int32_t top = 0; top < size_.height; top += band) {
            const int32_t count = std::min(band, size_.height - top);
            if (Status read = topFirst_->read(count, rows.data()); !read) {
                return read;
            }
            bytes_.resize(size_t(count) * width * 3);
            for (size_t i = 0; i < size_t(count) * width; ++i) {
                bytes_[3 * i] = uint8_t(rows[i]);
                bytes_[3 * i + 1] = uint8_t(rows[i] >> 8);
                bytes_[3 * i + 2] = uint8_t(rows[i] >> 16);
            }
            if (!WriteAllAt(fd_, bytes_.data(), bytes_.size(), off_t(top) * off_t(width * 3))) {
                return Status::Error(std::string("its rows could not be put aside: ") +
                                     std::strerror(errno));
            }
        }
        topFirst_.reset();  // the decoder's memory goes
        return Status::Ok();
    }

    std::unique_ptr<RowBands> topFirst_;
    int fd_;
    PictureSize size_;
    bool putAside_ = false;
    int64_t served_ = 0;
    std::vector<uint8_t> bytes_;
};

}  // namespace

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
               format == PictureFormat::Jpeg || format == PictureFormat::Png) {
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
    const bool fromTopOnly = format == PictureFormat::Jpeg || format == PictureFormat::Png;
    if (reader->bands_ && fromTopOnly && !topFirst) {
        // Turned round through the disk; where no file can be had, decoded whole.
        const int fd = OpenNamelessFile("");
        reader->bands_ =
            fd < 0 ? nullptr : std::make_unique<RowsTurnedRound>(std::move(reader->bands_), fd);
    }
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

std::unique_ptr<PictureRowReader> PictureRowReader::OfRows(std::string path,
                                                           std::unique_ptr<RowBands> rows,
                                                           RowOrder order) {
    std::unique_ptr<PictureRowReader> reader(new PictureRowReader(std::move(path), order));
    reader->size_ = rows->size();
    reader->bands_ = std::move(rows);
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
