#include "input/photo_metadata_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <iterator>
#include <mutex>

namespace k3v {

namespace {

// Exiv2's shared parts (its XMP toolkit, its log level) are set once, before any thread
// reads a file. Its own messages are muted: the note says what a user needs.
void SetUpExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

// IFD0 tags of a TIFF file that describe its own pixels, strips and tiles, or data that a JPEG
// keeps in segments of its own (XMP, IPTC, Photoshop, the ICC profile): a JPEG's Exif block
// must not hold them (Exif 2.32, 4.6.8).
constexpr uint16_t kTiffOnlyTags[] = {
    0x00FE, 0x00FF, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109,
    0x010A, 0x0111, 0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011C, 0x0122, 0x0123,
    0x0124, 0x0125, 0x013D, 0x0140, 0x0142, 0x0143, 0x0144, 0x0145, 0x014A, 0x0152,
    0x0153, 0x0154, 0x0155, 0x015B, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205, 0x0206,
    0x0207, 0x0208, 0x0209, 0x0212, 0x02BC, 0x83BB, 0x8649, 0x8773, 0x935C,
};

bool IsTiffOnly(const Exiv2::Exifdatum& datum) {
    return datum.groupName() == "Image" &&
           std::find(std::begin(kTiffOnlyTags), std::end(kTiffOnlyTags), datum.tag()) !=
               std::end(kTiffOnlyTags);
}

template <typename Value>
void SetIfMissing(Exiv2::ExifData& exif, const char* key, const Value& value) {
    if (exif.findKey(Exiv2::ExifKey(key)) == exif.end()) {
        exif[key] = value;
    }
}

// The Exif data as a JPEG of the upright stereo image should carry it. The tags that a JPEG's
// Exif must hold (Exif 2.32, 4.6.8) and that describe its own pixels are made ours, or get
// Exif's defaults where the photo has none; the writer sets the picture size, which it knows.
void FitForStereoJpeg(Exiv2::ExifData& exif) {
    bool exifIfd = false;
    for (auto datum = exif.begin(); datum != exif.end();) {
        exifIfd = exifIfd || datum->groupName() == "Photo";
        const bool thumbnail = datum->groupName() == "Thumbnail";  // IFD1
        datum = thumbnail || IsTiffOnly(*datum) ? exif.erase(datum) : std::next(datum);
    }
    if (exif.empty()) {
        return;
    }
    exif["Exif.Image.Orientation"] = uint16_t(1);
    SetIfMissing(exif, "Exif.Image.XResolution", Exiv2::URational(72, 1));
    SetIfMissing(exif, "Exif.Image.YResolution", Exiv2::URational(72, 1));
    SetIfMissing(exif, "Exif.Image.ResolutionUnit", uint16_t(2));    // inches
    SetIfMissing(exif, "Exif.Image.YCbCrPositioning", uint16_t(1));  // centred
    if (exifIfd) {
        Exiv2::DataValue components(Exiv2::undefined);
        components.read("1 2 3 0");  // Y, Cb, Cr, as our encoder stores them
        exif["Exif.Photo.ComponentsConfiguration"].setValue(&components);
        SetIfMissing(exif, "Exif.Photo.PixelXDimension", uint32_t(0));
        SetIfMissing(exif, "Exif.Photo.PixelYDimension", uint32_t(0));
    }
}

// A profile starts with its own size, and names itself at byte 36 (ICC.1, 7.2).
bool LooksLikeIccProfile(const uint8_t* bytes, size_t size) {
    return size >= 128 &&
           (size_t(bytes[0]) << 24 | size_t(bytes[1]) << 16 | size_t(bytes[2]) << 8 | bytes[3]) ==
               size &&
           std::memcmp(bytes + 36, "acsp", 4) == 0;
}

std::string NotKept(const std::string& path, const std::string& what, const std::string& reason) {
    return "The " + what + " of \"" + path + "\" is not kept: " + reason;
}

// Exiv2's reason begins as a sentence does; here it ends one.
std::string Unreadable(const std::string& path, std::string reason) {
    if (!reason.empty()) {
        reason[0] = char(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return NotKept(path, "photo information", "it cannot be read: " + reason);
}

PhotoMetadataRead Read(const std::string& path) {
    PhotoMetadataRead read;
    // Opened as a plain file: given a name, Exiv2 would read "-" as standard input and a name
    // that starts like "http://" over the network. Exiv2 0.27 hands both out as std::auto_ptr,
    // which clang reports as deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const Exiv2::Image::AutoPtr image =
        Exiv2::ImageFactory::open(Exiv2::BasicIo::AutoPtr(new Exiv2::FileIo(path)));
#pragma GCC diagnostic pop
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    FitForStereoJpeg(exif);
    if (!exif.empty()) {
        const Exiv2::ByteOrder order = image->byteOrder() == Exiv2::invalidByteOrder
                                           ? Exiv2::littleEndian
                                           : image->byteOrder();
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, order, exif);
        if (blob.size() > kMaxExifBytes) {
            read.note =
                NotKept(path, "Exif data",
                        "it takes " + std::to_string(blob.size()) + " bytes, more than the " +
                            std::to_string(kMaxExifBytes) + " a JPEG segment holds");
        } else {
            read.metadata.exif.assign(blob.begin(), blob.end());
        }
    }
    const Exiv2::DataBuf* icc = image->iccProfile();
    if (icc != nullptr && icc->size_ > 0) {
        const auto size = size_t(icc->size_);
        std::string reason;
        if (!LooksLikeIccProfile(icc->pData_, size)) {
            reason = "it is damaged";
        } else if (size > kMaxIccBytes) {
            reason = "it takes " + std::to_string(size) + " bytes, more than the " +
                     std::to_string(kMaxIccBytes) + " that JPEG segments hold";
        } else {
            read.metadata.icc.assign(icc->pData_, icc->pData_ + size);
        }
        if (!reason.empty()) {
            read.note += (read.note.empty() ? "" : "\n") + NotKept(path, "colour profile", reason);
        }
    }
    return read;
}

}  // namespace

PhotoMetadataRead ReadPhotoMetadata(const std::string& path) {
    SetUpExiv2();
    // Exiv2 reports damaged or unreadable information by throwing; nothing of it leaves here.
    try {
        return Read(path);
    } catch (const Exiv2::AnyError& error) {
        if (error.code() == Exiv2::kerFileContainsUnknownImageType) {
            return {};  // a format without such information, as PPM
        }
        return {{}, Unreadable(path, error.what())};
    } catch (const std::exception& error) {
        return {{}, Unreadable(path, error.what())};
    } catch (...) {
        return {{}, Unreadable(path, "unknown error")};
    }
}

}  // namespace k3v
