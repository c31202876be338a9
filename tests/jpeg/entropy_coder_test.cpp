#include "tests/jpeg/reference_encoder.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/jpeg/test_random.h"

#include "tests/jpeg/slow_bit_writer.h"

namespace k3v::jpeg {
namespace {

using testing::SlowBitWriter;

// The block coder written plainly: one coefficient at a time, codes and additional bits sent
// separately, bit by bit.
void SlowEncodeBlock(SlowBitWriter& out, const int16_t* block, int& predictor,
                     const HuffmanTable& dc, const HuffmanTable& ac) {
    auto send = [&](const HuffmanTable& table, unsigned symbol) {
        ASSERT_GT(table.length[symbol], 0) << "symbol without a code: " << symbol;
        out.Put(table.code[symbol], table.length[symbol]);
    };
    const int diff = block[0] - predictor;
    predictor = block[0];
    const unsigned n = Category(diff);
    send(dc, n);
    if (n > 0)
        out.Put(static_cast<uint32_t>(diff < 0 ? diff - 1 : diff) & ((1u << n) - 1), n);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (block[k] == 0) {
            ++run;
            continue;
        }
        while (run > 15) {
            send(ac, 0xF0);
            run -= 16;
        }
        const unsigned size = Category(block[k]);
        send(ac, static_cast<unsigned>(run) * 16 + size);
        const int v = block[k];
        out.Put(static_cast<uint32_t>(v < 0 ? v - 1 : v) & ((1u << size) - 1), size);
        run = 0;
    }
    if (run > 0)
        send(ac, 0x00);
}

std::vector<uint8_t> SlowEncodeScan(const CoefficientPlanes& planes, const EntropyTables& t) {
    SlowBitWriter out;
    int predictor[3] = {};
    for (size_t b = 0; b < planes.BlockCount(); ++b) {
        SlowEncodeBlock(out, planes.Block(b, kY), predictor[0], t.dc[0], t.ac[0]);
        SlowEncodeBlock(out, planes.Block(b, kCb), predictor[1], t.dc[1], t.ac[1]);
        SlowEncodeBlock(out, planes.Block(b, kCr), predictor[2], t.dc[1], t.ac[1]);
    }
    out.Finish();
    return out.out;
}

// Coefficient planes with sparse, mostly small values, like quantised pictures, plus blocks
// of extreme values and long zero runs.
CoefficientPlanes RandomPlanes(size_t across, size_t down, unsigned seed, int density) {
    CoefficientPlanes planes;
    planes.blocksAcross = across;
    planes.blocksDown = down;
    planes.coefficients.assign(planes.BlockCount() * 3 * 64, 0);
    testing::Random rng(seed);
    for (size_t b = 0; b < planes.BlockCount(); ++b) {
        for (Component c : {kY, kCb, kCr}) {
            int16_t* block = planes.Block(b, c);
            block[0] = static_cast<int16_t>(static_cast<int>(rng() % 2048) - 1024);
            for (int k = 1; k < 64; ++k) {
                if (static_cast<int>(rng() % 100) < density) {
                    const int magnitude = (2 << (rng() % 10)) - 1;  // categories 1..10
                    const int v = static_cast<int>(rng() % static_cast<unsigned>(magnitude)) + 1;
                    block[k] = static_cast<int16_t>(rng() % 2 ? v : -v);
                }
            }
        }
    }
    return planes;
}

struct ScanCase {
    size_t across;
    size_t down;
    int density;  // percent of nonzero AC coefficients
};

class EncodeScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(EncodeScanTest, EqualsThePlainBlockCoder) {
    const ScanCase c = GetParam();
    const CoefficientPlanes planes = RandomPlanes(c.across, c.down, 99, c.density);
    const PictureTables tables = BuildHuffmanTables(planes);
    std::vector<uint8_t> fast = {0xAA};  // appended after what is there
    EncodeScan(planes, tables, fast);
    const std::vector<uint8_t> slow = SlowEncodeScan(planes, tables);
    ASSERT_EQ(fast.size(), slow.size() + 1);
    EXPECT_EQ(fast[0], 0xAA);
    EXPECT_TRUE(std::equal(slow.begin(), slow.end(), fast.begin() + 1));
    // The estimate counts code and additional bits; stuffed bytes come on top.
    size_t stuffed = 0;
    for (size_t i = 0; i + 1 < slow.size(); ++i)
        stuffed += slow[i] == 0xFF;
    EXPECT_EQ(slow.size() - stuffed, tables.estimatedBytes);
}

INSTANTIATE_TEST_SUITE_P(Densities, EncodeScanTest,
                         ::testing::Values(ScanCase{1, 1, 0}, ScanCase{1, 1, 100},
                                           ScanCase{5, 3, 2}, ScanCase{17, 9, 10},
                                           ScanCase{40, 30, 50}, ScanCase{8, 8, 95}));

TEST(EncodeScan, StuffingFarBeyondTheEstimateStillFits) {
    // Every AC coefficient 1023: one AC symbol (code 0) followed by ten 1-bits, so about a
    // quarter of all bytes are 0xFF and get a stuffed 0x00, more than the margin the first
    // buffer size allows for. The buffer has to grow, and the bytes stay exact.
    CoefficientPlanes planes;
    planes.blocksAcross = 20;
    planes.blocksDown = 20;
    planes.coefficients.assign(planes.BlockCount() * 3 * 64, 1023);
    const PictureTables tables = BuildHuffmanTables(planes);
    std::vector<uint8_t> fast;
    EncodeScan(planes, tables, fast);
    EXPECT_EQ(fast, SlowEncodeScan(planes, tables));
    size_t stuffed = 0;
    for (size_t i = 0; i + 1 < fast.size(); ++i)
        stuffed += fast[i] == 0xFF && fast[i + 1] == 0;
    EXPECT_GT(stuffed, tables.estimatedBytes / 4);
    EXPECT_EQ(fast.size(), tables.estimatedBytes + stuffed);
}

TEST(EncodeScan, DcOnlyPictureSendsOneBitPerAcTable) {
    // Three blocks of DC 0: each block sends the DC code of category 0 (the only DC symbol:
    // a 1-bit code 0) and EOB (1-bit code 0): two zero bits per component, six per MCU.
    CoefficientPlanes planes;
    planes.blocksAcross = 3;
    planes.blocksDown = 1;
    planes.coefficients.assign(3 * 3 * 64, 0);
    const PictureTables tables = BuildHuffmanTables(planes);
    std::vector<uint8_t> out;
    EncodeScan(planes, tables, out);
    // 18 zero bits, then six 1-bits of padding: 00000000 00000000 00111111.
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0x00, 0x3F}));
}

}  // namespace
}  // namespace k3v::jpeg
