#include "output/bmp_writer.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace k3v {

namespace {

// Rows are written in bands of about this many pixels, between which the progress is told and
// asked about a cancel.
constexpr int64_t kBandPixels = int64_t(1) << 18;

void Put16(uint8_t* at, uint32_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
}

}  // namespace

std::array<uint8_t, kBmpHeaderSize> MakeBmpHeader(int32_t width, int32_t height) {
    std::array<uint8_t, kBmpHeaderSize> header{};
    const uint64_t fileSize = kBmpHeaderSize + 4 * uint64_t(width) * uint64_t(height);
    // BITMAPFILEHEADER
    header[0] = 'B';
    header[1] = 'M';
    Put32(&header[2], uint32_t(fileSize));  // whole file
    Put32(&header[10], kBmpHeaderSize);     // where the pixels start
    // BITMAPINFOHEADER; every field not set here is 0 (no compression, image size 0,
    // no resolution, no colour table).
    Put32(&header[14], 40);
    Put32(&header[18], uint32_t(width));
    Put32(&header[22], uint32_t(height));  // positive: the first stored row is the bottom one
    Put16(&header[26], 1);                 // planes
    Put16(&header[28], 32);                // bits per pixel
    return header;
}

Status WriteBmp(const std::string& path, const OutputPicture& picture, SafeFileWriter& file,
                const Progress& progress, RowOrder order) {
    const uint64_t fileSize =
        kBmpHeaderSize + 4 * uint64_t(picture.width()) * uint64_t(picture.height());
    if (fileSize > std::numeric_limits<uint32_t>::max()) {
        return CannotWrite(path, "a picture of " + std::to_string(picture.width()) + " x " +
                                     std::to_string(picture.height()) +
                                     " pixels is larger than a BMP file can hold (4 GB); save it "
                                     "as JPEG");
    }
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    // Both fit in 32 bits: the file's size did.
    const auto header = MakeBmpHeader(int32_t(picture.width()), int32_t(picture.height()));
    file.write(header.data(), header.size());
    std::vector<uint32_t> row(size_t(picture.width()));
    const int32_t height = int32_t(picture.height());
    const auto bandRows =
        int32_t(std::max<int64_t>(1, kBandPixels / std::max<int64_t>(1, picture.width())));
    const size_t rowBytes = row.size() * sizeof(uint32_t);
    const bool topFirst = order == RowOrder::TopFirst;
    for (int32_t done = 0; done < height;) {
        if (progress.cancelled()) {
            return Status::Cancelled();
        }
        const int32_t end = done + std::min(bandRows, height - done);
        for (int32_t i = done; i < end; ++i) {
            const int32_t y = topFirst ? height - 1 - i : i;
            picture.readRow(y, row.data());
            if (topFirst) {  // each row at its place, the file growing from its end
                file.overwrite(kBmpHeaderSize + uint64_t(y) * rowBytes,
                               {reinterpret_cast<const uint8_t*>(row.data()), rowBytes});
            } else {
                file.write(row.data(), rowBytes);
            }
        }
        progress.report(uint64_t(end), uint64_t(height));
        done = end;
    }
    return Status::Ok();
}

Status WriteBmpFile(const std::string& path, const OutputPicture& picture,
                    const Progress& progress) {
    SafeFileWriter file;
    if (Status written = WriteBmp(path, picture, file, progress); !written) {
        return written;  // the writer discards its temporary file
    }
    // A cancel that comes after the last band still keeps the existing file.
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    return file.commit();
}

}  // namespace k3v
