#include "output/stereo_jpeg_files.h"

#include <limits>
#include <memory>
#include <string_view>

namespace k3v {

namespace {

// TIFF field types and the MP tags (CIPA DC-007, 5.2).
constexpr uint16_t kLong = 4;
constexpr uint16_t kUndefined = 7;
constexpr uint16_t kMpfVersion = 0xB000;
constexpr uint16_t kNumberOfImages = 0xB001;
constexpr uint16_t kMpEntry = 0xB002;
constexpr uint16_t kIndividualNumber = 0xB101;
constexpr uint16_t kBaseViewpointNumber = 0xB204;

constexpr uint32_t kRepresentativeImage = 1u << 29;
constexpr uint32_t kDisparityImage = 0x020002;  // multi-frame image, disparity type

constexpr size_t kIfdEntrySize = 12;
constexpr size_t kMpEntrySize = 16;
constexpr size_t kTiffHeaderSize = 8;
// FF E2, the length, "MPF\0": what comes before the TIFF header.
constexpr size_t kMpfPrefixSize = 8;

class LittleEndian {
  public:
    explicit LittleEndian(std::vector<uint8_t>& out) : out_(out) {}
    void u16(uint32_t v) {
        out_.push_back(uint8_t(v));
        out_.push_back(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void bytes(std::string_view text) {
        for (const char c : text) {
            out_.push_back(uint8_t(c));
        }
    }
    // An IFD entry whose value fits in its 4-byte field, or the offset of the value.
    void entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueOrOffset) {
        u16(tag);
        u16(type);
        u32(count);
        u32(valueOrOffset);
    }
    void versionEntry() {
        u16(kMpfVersion);
        u16(kUndefined);
        u32(4);
        bytes("0100");
    }

  private:
    std::vector<uint8_t>& out_;
};

size_t IfdSize(size_t entries) {
    return 2 + entries * kIfdEntrySize + 4;
}

// The MP Attribute IFD of image `number` at offset `at` of the TIFF structure, the last IFD.
void AttributeIfd(LittleEndian& out, uint32_t number) {
    out.u16(3);
    out.versionEntry();
    out.entry(kIndividualNumber, kLong, 1, number);
    out.entry(kBaseViewpointNumber, kLong, 1, 1);
    out.u32(0);  // no next IFD
}

struct MpEntry {
    uint32_t attribute;
    uint32_t size;
    uint32_t offset;
};

// The whole APP2 segment; with `entries`, the MP Index IFD comes before the attributes.
std::vector<uint8_t> MpfSegment(uint32_t number, const std::vector<MpEntry>& entries) {
    const size_t indexSize = entries.empty() ? 0 : IfdSize(3) + kMpEntrySize * entries.size();
    const size_t tiffSize = kTiffHeaderSize + indexSize + IfdSize(3);
    std::vector<uint8_t> segment = {0xFF, 0xE2};
    const size_t length = 2 + 4 + tiffSize;
    segment.push_back(uint8_t(length >> 8));
    segment.push_back(uint8_t(length));
    LittleEndian out(segment);
    out.bytes(std::string_view("MPF\0", 4));
    out.bytes("II");
    out.u16(42);
    out.u32(kTiffHeaderSize);  // the first IFD follows the header
    if (!entries.empty()) {
        const size_t entriesAt = kTiffHeaderSize + IfdSize(3);
        out.u16(3);
        out.versionEntry();
        out.entry(kNumberOfImages, kLong, 1, uint32_t(entries.size()));
        out.entry(kMpEntry, kUndefined, uint32_t(kMpEntrySize * entries.size()),
                  uint32_t(entriesAt));
        out.u32(uint32_t(entriesAt + kMpEntrySize * entries.size()));  // the attribute IFD
        for (const MpEntry& e : entries) {
            out.u32(e.attribute);
            out.u32(e.size);
            out.u32(e.offset);
            out.u32(0);  // no dependent images
        }
    }
    AttributeIfd(out, number);
    return segment;
}

}  // namespace

size_t SegmentInsertPoint(std::span<const uint8_t> jpeg) {
    if (jpeg.size() < 6 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[2] != 0xFF ||
        jpeg[3] != 0xE0) {
        return 0;
    }
    const size_t end = 4 + (size_t(jpeg[4]) << 8 | jpeg[5]);
    return end <= jpeg.size() ? end : 0;
}

Result<MpoSegments> MakeMpoSegments(size_t leftEyeSize, size_t leftEyeAt, size_t rightEyeSize,
                                    const std::string& path) {
    MpoSegments segments;
    segments.rightEye = MpfSegment(2, {});
    // The first segment's size does not depend on the values it holds.
    const size_t firstSegmentSize = MpfSegment(1, {{}, {}}).size();
    const uint64_t firstSize = uint64_t(leftEyeSize) + firstSegmentSize;
    const uint64_t secondSize = uint64_t(rightEyeSize) + segments.rightEye.size();
    if (firstSize + secondSize > std::numeric_limits<uint32_t>::max()) {
        return CannotWrite(path, "the two views take more than the 4 GB an MPO file can hold");
    }
    // The second image's offset counts from the first image's byte-order mark.
    const uint64_t secondOffset = firstSize - (leftEyeAt + kMpfPrefixSize);
    segments.leftEye =
        MpfSegment(1, {{kRepresentativeImage | kDisparityImage, uint32_t(firstSize), 0},
                       {kDisparityImage, uint32_t(secondSize), uint32_t(secondOffset)}});
    return segments;
}

std::vector<uint8_t> JpsSegment(bool halfWidth) {
    constexpr std::string_view kComment = "Quorvex Still K3V Stereo Converter";
    const size_t length = 2 + 8 + 2 + 4 + 2 + kComment.size();
    std::vector<uint8_t> segment = {0xFF, 0xE3, uint8_t(length >> 8), uint8_t(length)};
    for (const char c : std::string_view("_JPSJPS_")) {
        segment.push_back(uint8_t(c));
    }
    // A descriptor of 4 bytes: separation 0, flags, layout 2 (side by side), media type 1.
    const uint8_t descriptor[] = {0, 4, 0, uint8_t(halfWidth ? 2 : 0), 2, 1};
    segment.insert(segment.end(), std::begin(descriptor), std::end(descriptor));
    segment.push_back(uint8_t(kComment.size() >> 8));
    segment.push_back(uint8_t(kComment.size()));
    for (const char c : kComment) {
        segment.push_back(uint8_t(c));
    }
    return segment;
}

JpegSink WithSegmentAfterApp0(std::vector<uint8_t> segment, JpegSink sink, size_t* insertedAt) {
    struct State {
        std::vector<uint8_t> segment;
        JpegSink sink;
        size_t* insertedAt;
        std::vector<uint8_t> head;  // the file's first bytes until APP0 is complete
        bool inserted = false;
    };
    auto state =
        std::make_shared<State>(State{std::move(segment), std::move(sink), insertedAt, {}, false});
    return [state](const uint8_t* bytes, size_t count) {
        if (state->inserted) {
            state->sink(bytes, count);
            return;
        }
        state->head.insert(state->head.end(), bytes, bytes + count);
        const size_t at = SegmentInsertPoint(state->head);
        if (at == 0) {
            return;  // APP0 not complete yet
        }
        state->inserted = true;
        if (state->insertedAt != nullptr) {
            *state->insertedAt = at;
        }
        state->sink(state->head.data(), at);
        state->sink(state->segment.data(), state->segment.size());
        state->sink(state->head.data() + at, state->head.size() - at);
        state->head = {};
    };
}

}  // namespace k3v
