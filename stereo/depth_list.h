#pragma once
// The depth list offers "20", "25", ... "90"; "30" is the start choice.

#include <array>
#include <cstdint>
#include <string_view>

namespace k3v {

inline constexpr std::array<std::string_view, 15> kDepthEntries = {
    "20", "25", "30", "35", "40", "45", "50", "55", "60", "65", "70", "75", "80", "85", "90"};
inline constexpr int kDefaultDepthEntry = 2;  // "30", counted from 0

// The number in a depth entry's text, rounded to an integer; text without a number gives 0
// (which means no displacement, never a division by zero).
int32_t ParseDepthText(std::string_view text);

// True for the numbers the list offers (20, 25, ... 90).
bool IsDepthListValue(int32_t value);

}  // namespace k3v
