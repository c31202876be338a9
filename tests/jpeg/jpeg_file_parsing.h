#pragma once
// Walks the marker segments of a JPEG file up to and including SOS, for checking the headers.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace k3v::jpeg::testing {

struct Segment {
    uint8_t marker = 0;         // the byte after 0xFF
    size_t offset = 0;          // of the 0xFF
    size_t length = 0;          // the length field (counts itself, not the marker)
    std::vector<uint8_t> body;  // the bytes after the length field
};

// Segments from the one after SOI up to SOS; `scanStart` receives the offset of the first
// entropy-coded byte. Returns an empty list if the layout is broken.
inline std::vector<Segment> ParseSegments(const std::vector<uint8_t>& file, size_t* scanStart) {
    std::vector<Segment> segments;
    size_t pos = 2;
    while (pos + 4 <= file.size() && file[pos] == 0xFF) {
        Segment s;
        s.marker = file[pos + 1];
        s.offset = pos;
        s.length = static_cast<size_t>(file[pos + 2]) << 8 | file[pos + 3];
        if (s.length < 2 || pos + 2 + s.length > file.size()) {
            return {};
        }
        s.body.assign(file.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                      file.begin() + static_cast<std::ptrdiff_t>(pos + 2 + s.length));
        pos += 2 + s.length;
        segments.push_back(s);
        if (s.marker == 0xDA) {
            if (scanStart)
                *scanStart = pos;
            return segments;
        }
    }
    return {};
}

}  // namespace k3v::jpeg::testing
