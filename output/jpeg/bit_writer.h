#pragma once
// Entropy-coded data output: bits go out most significant first and every 0xFF byte is followed
// by a stuffed 0x00 (T.81 F.1.2.3), so that no marker appears inside the scan.
//
// Bits collect in a 64-bit accumulator and leave 32 at a time; the bytes are the same as if
// each byte were sent as soon as its last bit is set. The output vector grows as needed, but
// only in EnsureRoom: callers reserve room for what they are about to put (kMaxBytesPerPut per
// Put), so the hot path never checks the end of the buffer and never writes past it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace k3v::jpeg {

class BitWriter {
  public:
    // Appends to `out` after its current contents. The first growth takes what `out` has
    // reserved; beyond that the buffer grows by at least `expectedBytes` or doubles.
    BitWriter(std::vector<uint8_t>& out, size_t expectedBytes);

    // Bytes that one Put can add at most: 4 data bytes, each possibly stuffed.
    static constexpr size_t kMaxBytesPerPut = 8;

    // Makes sure `bytes` more bytes fit. Throws std::bad_alloc if the buffer cannot grow.
    void EnsureRoom(size_t bytes) {
        if (out_.size() - pos_ < bytes) {
            Grow(bytes);
        }
    }

    // Sends the `count` (0..32) low bits of `bits`, most significant first. Higher bits of
    // `bits` must be zero.
    void Put(uint32_t bits, unsigned count) {
        accumulator_ = (accumulator_ << count) | bits;
        pending_ += count;
        if (pending_ >= 32) {
            pending_ -= 32;
            Emit32(static_cast<uint32_t>(accumulator_ >> pending_));
        }
    }

    // Fills the last partial byte with 1-bits, sends it and trims `out` to what was written.
    void Finish();

  private:
    void Grow(size_t bytes);
    void Emit32(uint32_t word) {
        // ~word has a zero byte exactly where word has 0xFF.
        const uint32_t inverted = ~word;
        if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
            uint8_t* p = out_.data() + pos_;
            p[0] = static_cast<uint8_t>(word >> 24);
            p[1] = static_cast<uint8_t>(word >> 16);
            p[2] = static_cast<uint8_t>(word >> 8);
            p[3] = static_cast<uint8_t>(word);
            pos_ += 4;
        } else {
            EmitByte(static_cast<uint8_t>(word >> 24));
            EmitByte(static_cast<uint8_t>(word >> 16));
            EmitByte(static_cast<uint8_t>(word >> 8));
            EmitByte(static_cast<uint8_t>(word));
        }
    }
    void EmitByte(uint8_t byte) {
        out_[pos_++] = byte;
        if (byte == 0xFF) {
            out_[pos_++] = 0x00;
        }
    }

    std::vector<uint8_t>& out_;
    size_t pos_;  // bytes of `out_` in use
    size_t firstGrowth_;
    uint64_t accumulator_ = 0;  // the low `pending_` bits are not yet sent
    unsigned pending_ = 0;      // 0..31 between calls
};

}  // namespace k3v::jpeg
