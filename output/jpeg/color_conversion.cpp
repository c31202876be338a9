#include "output/jpeg/color_conversion.h"

#include <array>

namespace k3v::jpeg {

namespace {

// Each product of a byte and a coefficient is an exact double (8 + 24 significant bits), all
// of them are multiples of 2^-27 below 2^9, so their sum with the offset is exact in double as
// well: the one rounding is the final one to single precision, exactly as if the sum had been
// formed in extended precision.
struct ProductTables {
    // [component][channel red, green, blue][byte value]
    std::array<std::array<std::array<double, 256>, 3>, 3> product;
};

ProductTables MakeProductTables() {
    constexpr float kCoefficients[3][3] = {
        {0.299f, 0.587f, 0.114f},
        {-0.16874f, -0.33126f, 0.5f},
        {0.5f, -0.41869f, -0.08131f},
    };
    ProductTables tables{};
    for (size_t component = 0; component < 3; ++component) {
        for (size_t channel = 0; channel < 3; ++channel) {
            for (size_t value = 0; value < 256; ++value) {
                tables.product[component][channel][value] =
                    static_cast<double>(value) *
                    static_cast<double>(kCoefficients[component][channel]);
            }
        }
    }
    return tables;
}

const ProductTables kTables = MakeProductTables();

}  // namespace

void ConvertBlock(const uint8_t* strip, size_t paddedWidth, size_t blockColumn, float* y, float* cb,
                  float* cr) {
    const auto& yT = kTables.product[0];
    const auto& cbT = kTables.product[1];
    const auto& crT = kTables.product[2];
    for (size_t r = 0; r < 8; ++r) {
        const uint8_t* p = strip + r * 3 * paddedWidth + 3 * 8 * blockColumn;
        for (size_t c = 0; c < 8; ++c) {
            const uint8_t blue = p[3 * c];
            const uint8_t green = p[3 * c + 1];
            const uint8_t red = p[3 * c + 2];
            const size_t i = 8 * r + c;
            y[i] = static_cast<float>(yT[0][red] + yT[1][green] + yT[2][blue] - 128.0);
            cb[i] = static_cast<float>(cbT[0][red] + cbT[1][green] + cbT[2][blue]);
            cr[i] = static_cast<float>(crT[0][red] + crT[1][green] + crT[2][blue]);
        }
    }
}

}  // namespace k3v::jpeg
