#pragma once
// Entropy-coded data output: bits go out most significant first and every 0xFF byte is followed
// by a stuffed 0x00 (T.81 F.1.2.3), so that no marker appears inside the scan.
//
// Bits collect in a 64-bit accumulator that leaves as 8 bytes whenever it is full; the bytes
// are the same as if each byte were sent as soon as its last bit is set. The output vector
// grows as needed, but only in EnsureRoom: callers reserve room for what they are about to put
// (kMaxBytesPerPut per Put), so the hot path never checks the end of the buffer and never
// writes past it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace k3v::jpeg {

class BitWriter {
  public:
    // Appends to `out` after its current contents. The first growth takes what `out` has
    // reserved; beyond that the buffer grows by at least `expectedBytes` or doubles.
    BitWriter(std::vector<uint8_t>& out, size_t expectedBytes);

    // Bytes that one Put can add at most: 8 data bytes, each possibly stuffed.
    static constexpr size_t kMaxBytesPerPut = 16;

    // Makes sure `bytes` more bytes fit. Throws std::bad_alloc if the buffer cannot grow.
    void EnsureRoom(size_t bytes) {
        if (out_.size() - pos_ < bytes) {
            Grow(bytes);
        }
    }

    // Sends the `count` (0..32) low bits of `bits`, most significant first. Higher bits of
    // `bits` must be zero.
    void Put(uint32_t bits, unsigned count) {
        if (count < free_) {
            accumulator_ = (accumulator_ << count) | bits;
            free_ -= count;
            return;
        }
        // The accumulator fills up (free_ <= count <= 32 here, so no shift reaches 64): send
        // it with the leading bits of `bits`, and keep the rest. The bits of `bits` already
        // sent stay above the kept ones and are shifted out before the next send.
        const unsigned rest = count - free_;
        Emit64((accumulator_ << free_) | (bits >> rest));
        accumulator_ = bits;
        free_ = 64 - rest;
    }

    // Fills the last partial byte with 1-bits, sends it and trims `out` to what was written.
    void Finish();

  private:
    void Grow(size_t bytes);

    void Emit64(uint64_t word) {
        // ~word has a zero byte exactly where word has 0xFF.
        const uint64_t inverted = ~word;
        if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0) {
            uint8_t bytes[8];
            for (unsigned i = 0; i < 8; ++i) {
                bytes[i] = static_cast<uint8_t>(word >> (56 - 8 * i));
            }
            std::memcpy(out_.data() + pos_, bytes, 8);
            pos_ += 8;
        } else {
            for (unsigned i = 0; i < 8; ++i) {
                EmitByte(static_cast<uint8_t>(word >> (56 - 8 * i)));
            }
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
    uint64_t accumulator_ = 0;  // the low 64 - free_ bits are not yet sent
    unsigned free_ = 64;        // 1..64 between calls
};

}  // namespace k3v::jpeg
