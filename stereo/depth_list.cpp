#include "stereo/depth_list.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace k3v {

int32_t ParseDepthText(std::string_view text) {
    const std::string copy(text);
    const char* begin = copy.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value) || std::fabs(value) > 1e6) {
        return 0;
    }
    return int32_t(std::nearbyint(value));
}

bool IsDepthListValue(int32_t value) {
    return std::any_of(kDepthEntries.begin(), kDepthEntries.end(),
                       [value](std::string_view entry) { return ParseDepthText(entry) == value; });
}

}  // namespace k3v
