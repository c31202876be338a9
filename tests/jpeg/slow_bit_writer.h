#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace k3v::jpeg::testing {

// The plain bit-at-a-time writer: one byte being filled and the value of its next free bit;
// a byte leaves as soon as its last bit is set, 0xFF followed by a stuffed 0x00.
class SlowBitWriter {
  public:
    void Put(uint32_t bits, unsigned count) {
        for (uint32_t mask = count ? 1u << (count - 1) : 0; mask > 0; mask >>= 1) {
            if (bits & mask)
                byte_ = static_cast<uint8_t>(byte_ | bitMask_);
            if (bitMask_ == 1) {
                out.push_back(byte_);
                if (byte_ == 0xFF)
                    out.push_back(0x00);
                byte_ = 0;
                bitMask_ = 0x80;
            } else {
                bitMask_ >>= 1;
            }
        }
    }
    void Finish() {
        // The free bits of the last byte are sent as 1-bits.
        if (bitMask_ != 0x80)
            Put((bitMask_ << 1) - 1, std::countr_zero(bitMask_) + 1u);
    }
    std::vector<uint8_t> out;

  private:
    uint8_t byte_ = 0;
    unsigned bitMask_ = 0x80;
};

}  // namespace k3v::jpeg::testing
