#pragma once
// The stereo files built from our JPEGs.
//
// MPO (CIPA DC-007 Multi-Picture Format), as 3D cameras write it: the left eye's JPEG, then
// the right eye's, each with an APP2 "MPF" segment after its APP0. The segment holds a TIFF
// structure (little-endian here): the first image's has the MP Index IFD (version "0100", two
// images, one 16-byte MP entry each: attribute, size, offset, two dependent-image numbers)
// followed by its MP Attribute IFD; the second image's has only its MP Attribute IFD. Both
// entries are of type "multi-frame disparity image" (0x020002), the first flagged as the
// representative image (bit 29). The first image's offset is 0 and its size counts its whole
// JPEG, segment included; the second's offset counts from the byte-order mark of the first
// image's TIFF header.
//
// JPS: one JPEG of the side-by-side pair, right eye on the left, with an APP3 "_JPSJPS_"
// segment: a 2-byte descriptor length (4), then the descriptor, big-endian, as the bytes
// separation, flags (bit 1: half width), layout (2: side by side), media type (1: stereo);
// then a 2-byte comment length and the comment.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/status.h"
#include "output/jpeg/jpeg_encoder.h"

namespace k3v {

// Where a segment goes in a JPEG our encoder made: right after SOI and the APP0 segment.
// 0 when the bytes do not start that way.
size_t SegmentInsertPoint(std::span<const uint8_t> jpeg);

// The APP2 segments of an MPO file whose left and right views encode to JPEGs of `leftEyeSize`
// and `rightEyeSize` bytes, the first segment going in at `leftEyeAt`; the message names `path`
// when the file would not fit the format's 32-bit sizes.
struct MpoSegments {
    std::vector<uint8_t> leftEye;  // the first image's, with the MP Index IFD
    std::vector<uint8_t> rightEye;
};
Result<MpoSegments> MakeMpoSegments(size_t leftEyeSize, size_t leftEyeAt, size_t rightEyeSize,
                                    const std::string& path);

// The APP3 segment of a JPS file whose pair is halved in width or not.
std::vector<uint8_t> JpsSegment(bool halfWidth);

// A sink that passes a JPEG our encoder makes on to `sink` with `segment` put in after APP0,
// at the offset it then stores in *insertedAt (which must outlive the sink's use).
JpegSink WithSegmentAfterApp0(std::vector<uint8_t> segment, JpegSink sink,
                              size_t* insertedAt = nullptr);

}  // namespace k3v
