#include "output/jpeg/bit_writer.h"

#include <algorithm>

namespace k3v::jpeg {

BitWriter::BitWriter(std::vector<uint8_t>& out, size_t expectedBytes)
    : out_(out), pos_(out.size()), firstGrowth_(expectedBytes) {}

void BitWriter::Grow(size_t bytes) {
    const size_t needed = pos_ + bytes;
    // Use the room the caller reserved before moving the bytes; then grow geometrically.
    if (needed <= out_.capacity()) {
        out_.resize(out_.capacity());
        return;
    }
    const size_t grown = out_.size() + std::max(out_.size(), firstGrowth_);
    out_.resize(std::max(needed, grown));
}

void BitWriter::Finish() {
    EnsureRoom(2 * kMaxBytesPerPut);
    const unsigned pending = 64 - free_;
    const unsigned fill = (8 - pending % 8) % 8;
    Put((1u << fill) - 1u, fill);
    for (unsigned left = 64 - free_; left >= 8; left -= 8) {
        EmitByte(static_cast<uint8_t>(accumulator_ >> (left - 8)));
    }
    free_ = 64;
    out_.resize(pos_);
}

}  // namespace k3v::jpeg
