#pragma once

#include <cstdint>
#include <random>

namespace k3v::jpeg::testing {

// A seeded generator whose results are uint32_t, so they convert without warnings.
using Random = std::independent_bits_engine<std::mt19937, 32, uint32_t>;

}  // namespace k3v::jpeg::testing
