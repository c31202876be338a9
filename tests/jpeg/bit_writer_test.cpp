#include "output/jpeg/bit_writer.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/jpeg/test_random.h"

#include "tests/jpeg/slow_bit_writer.h"

namespace k3v::jpeg {
namespace {

using testing::SlowBitWriter;

std::vector<uint8_t> Write(const std::vector<std::pair<uint32_t, unsigned>>& puts,
                           size_t expected = 16) {
    std::vector<uint8_t> out;
    BitWriter writer(out, expected);
    for (const auto& [bits, count] : puts) {
        writer.EnsureRoom(BitWriter::kMaxBytesPerPut);
        writer.Put(bits, count);
    }
    writer.Finish();
    return out;
}

TEST(BitWriter, SendsMostSignificantBitFirst) {
    EXPECT_EQ(Write({{0b1, 1}, {0b0010, 4}, {0b110, 3}}), (std::vector<uint8_t>{0b10010110}));
}

TEST(BitWriter, FillsTheLastByteWithOneBits) {
    EXPECT_EQ(Write({{0b101, 3}}), (std::vector<uint8_t>{0b10111111}));
    EXPECT_EQ(Write({{0xAB, 8}, {0, 1}}), (std::vector<uint8_t>{0xAB, 0x7F}));
}

TEST(BitWriter, StuffsAZeroAfterEveryFfByte) {
    EXPECT_EQ(Write({{0xFF, 8}, {0x12, 8}}), (std::vector<uint8_t>{0xFF, 0x00, 0x12}));
    EXPECT_EQ(Write({{0xFFFFFFFF, 32}}),
              (std::vector<uint8_t>{0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}));
    // 0x12FF34FF in one 32-bit word: the slow path inside a word.
    EXPECT_EQ(Write({{0x12FF34FF, 32}}),
              (std::vector<uint8_t>{0x12, 0xFF, 0x00, 0x34, 0xFF, 0x00}));
}

TEST(BitWriter, OneBitsThatFillTheLastByteAreStuffedToo) {
    EXPECT_EQ(Write({{0b1111111, 7}}), (std::vector<uint8_t>{0xFF, 0x00}));
    EXPECT_EQ(Write({{0x00, 8}, {0b11, 2}}), (std::vector<uint8_t>{0x00, 0xFF, 0x00}));
}

TEST(BitWriter, NothingPutGivesNoBytes) {
    EXPECT_TRUE(Write({}).empty());
}

TEST(BitWriter, AppendsAfterExistingBytes) {
    std::vector<uint8_t> out = {0xFF, 0xDA};
    BitWriter writer(out, 0);
    writer.EnsureRoom(BitWriter::kMaxBytesPerPut);
    writer.Put(0x3C, 8);
    writer.Finish();
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xDA, 0x3C}));
}

TEST(BitWriter, GrowsFromNothingWhenEveryByteIsStuffed) {
    std::vector<uint8_t> out;
    BitWriter writer(out, 0);
    for (int i = 0; i < 10000; ++i) {
        writer.EnsureRoom(BitWriter::kMaxBytesPerPut);
        writer.Put(0xFFFF, 16);
    }
    writer.Finish();
    ASSERT_EQ(out.size(), 40000u);
    for (size_t i = 0; i < out.size(); i += 2) {
        ASSERT_EQ(out[i], 0xFF);
        ASSERT_EQ(out[i + 1], 0x00);
    }
}

class BitWriterRandom : public ::testing::TestWithParam<unsigned> {};

TEST_P(BitWriterRandom, EqualsTheBitAtATimeWriter) {
    testing::Random rng(GetParam());
    std::vector<std::pair<uint32_t, unsigned>> puts;
    SlowBitWriter slow;
    const int n = 2000 + static_cast<int>(rng() % 50);
    for (int i = 0; i < n; ++i) {
        const unsigned count = rng() % 33;
        // Bias towards 1-bits so that 0xFF bytes are frequent.
        uint32_t bits = rng() | rng();
        bits = count == 32 ? bits : bits & ((1u << count) - 1u);
        puts.emplace_back(bits, count);
        slow.Put(bits, count);
    }
    slow.Finish();
    EXPECT_EQ(Write(puts, GetParam() % 3), slow.out);
}

INSTANTIATE_TEST_SUITE_P(Seeds, BitWriterRandom, ::testing::Range(1u, 9u));

}  // namespace
}  // namespace k3v::jpeg
