#include "output/jpeg/entropy_coder.h"

#include <bit>

#include "output/jpeg/bit_writer.h"

namespace k3v::jpeg {

namespace {

// Room for one block: it is sent in at most 64 Puts (DC, then nonzero coefficients, ZRLs and
// EOB together never exceed 63), with a margin.
constexpr size_t kMaxBytesPerBlock = (64 + 8) * BitWriter::kMaxBytesPerPut;

// A code followed by its additional bits, sent in one Put (at most 16 + 11 bits).
inline void PutSymbol(BitWriter& writer, const HuffmanTable& table, unsigned symbol, uint32_t extra,
                      unsigned extraCount) {
    writer.Put((static_cast<uint32_t>(table.code[symbol]) << extraCount) | extra,
               table.length[symbol] + extraCount);
}

void EncodeBlock(BitWriter& writer, const int16_t* block, int& predictor, const HuffmanTable& dc,
                 const HuffmanTable& ac) {
    const int diff = block[0] - predictor;
    predictor = block[0];
    const unsigned dcCategory = Category(diff);
    PutSymbol(writer, dc, dcCategory, ExtraBits(diff, dcCategory), dcCategory);

    uint64_t nonzero = NonzeroMask(block) & ~uint64_t{1};
    unsigned last = 0;
    while (nonzero != 0) {
        const auto k = static_cast<unsigned>(std::countr_zero(nonzero));
        nonzero &= nonzero - 1;
        unsigned run = k - last - 1;
        for (; run > 15; run -= 16) {
            PutSymbol(writer, ac, kZrl, 0, 0);
        }
        const int value = block[k];
        const unsigned category = Category(value);
        PutSymbol(writer, ac, 16 * run + category, ExtraBits(value, category), category);
        last = k;
    }
    if (last != 63) {
        PutSymbol(writer, ac, kEob, 0, 0);
    }
}

}  // namespace

void EncodeScan(const CoefficientPlanes& planes, const EntropyTables& tables,
                std::vector<uint8_t>& out) {
    // Stuffed bytes come on top of the estimate; a quarter more covers them in practice.
    const auto estimate = static_cast<size_t>(tables.estimatedBytes);
    BitWriter writer(out, estimate + estimate / 4 + 1024);
    int predictor[kComponents] = {0, 0, 0};
    const size_t blocks = planes.BlockCount();
    for (size_t b = 0; b < blocks; ++b) {
        writer.EnsureRoom(kComponents * kMaxBytesPerBlock);
        EncodeBlock(writer, planes.Block(b, kY), predictor[kY], tables.dc[0], tables.ac[0]);
        EncodeBlock(writer, planes.Block(b, kCb), predictor[kCb], tables.dc[1], tables.ac[1]);
        EncodeBlock(writer, planes.Block(b, kCr), predictor[kCr], tables.dc[1], tables.ac[1]);
    }
    writer.Finish();
}

}  // namespace k3v::jpeg
