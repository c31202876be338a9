#include "base/memory_probe.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

namespace k3v {

uint64_t PlaneBytes(int64_t width, int64_t height, int planes) {
    if (width <= 0 || height < 0 || planes <= 0) {
        return 0;
    }
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    const uint64_t rows = uint64_t(height) + 1;
    if (uint64_t(width) > kMax / 4 / rows) {
        return kMax;
    }
    const uint64_t perPlane = uint64_t(width) * rows * 4;
    if (perPlane > kMax / uint64_t(planes)) {
        return kMax;
    }
    return perPlane * uint64_t(planes);
}

namespace {

uint64_t SystemAvailableBytes() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kilobytes = 0;
    std::string unit;
    while (meminfo >> key >> kilobytes >> unit) {
        if (key == "MemAvailable:") {
            return kilobytes * 1024;
        }
    }
    return 0;
}

// What an address-space limit (ulimit -v) still leaves this process; the maximum when there
// is none or it cannot be told.
uint64_t AddressSpaceLeftBytes() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::numeric_limits<uint64_t>::max();
    }
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    if (!(statm >> pages)) {
        return std::numeric_limits<uint64_t>::max();
    }
    const uint64_t used = pages * uint64_t(sysconf(_SC_PAGESIZE));
    return used >= limit.rlim_cur ? 0 : uint64_t(limit.rlim_cur) - used;
}

}  // namespace

uint64_t AvailableMemoryBytes() {
    const uint64_t system = SystemAvailableBytes();
    const uint64_t addressSpace = AddressSpaceLeftBytes();
    if (system == 0) {
        return addressSpace == std::numeric_limits<uint64_t>::max() ? 0 : addressSpace;
    }
    return std::min(system, addressSpace);
}

std::string MemoryShortageMessage(int64_t width, int64_t height, int planes) {
    return MemoryShortageMessageFor(width, height, PlaneBytes(width, height, planes));
}

namespace {
constexpr const char* kShortage = "there is not enough memory for a picture of ";
}  // namespace

bool IsMemoryShortage(const std::string& message) {
    return message.find(kShortage) != std::string::npos;
}

std::string MemoryShortageMessageFor(int64_t width, int64_t height, uint64_t needed) {
    std::ostringstream text;
    text << kShortage << width << " x " << height << " pixels";
    if (needed != std::numeric_limits<uint64_t>::max()) {
        text << " (it needs " << (needed + (1 << 20) - 1) / (1 << 20) << " MB more";
        if (const uint64_t available = AvailableMemoryBytes(); available > 0) {
            text << ", " << available / (1 << 20) << " MB are available";
        }
        text << ")";
    }
    return text.str();
}

Status CheckPlanesFit(int32_t width, int32_t height, int planes) {
    return CheckBytesFit(width, height, PlaneBytes(width, height, planes));
}

Status CheckBytesFit(int64_t width, int64_t height, uint64_t needed) {
    const uint64_t available = AvailableMemoryBytes();
    // Where the system does not say, the allocation itself is the only check.
    if (needed == std::numeric_limits<uint64_t>::max() || (available > 0 && needed > available)) {
        return Status::Error(MemoryShortageMessageFor(width, height, needed));
    }
    return Status::Ok();
}

}  // namespace k3v
