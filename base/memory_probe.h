#pragma once
// How much memory a picture needs, checked with 64-bit arithmetic before anything is allocated,
// so that a picture too large for this machine is refused with a message instead of ending the
// process when the memory runs out.

#include <cstdint>
#include <string>

#include "base/status.h"

namespace k3v {

// Bytes of `planes` pixel planes of W x (H + 1) 32-bit pixels; saturates instead of overflowing.
uint64_t PlaneBytes(int64_t width, int64_t height, int planes);

// Memory the system can still give us, in bytes: MemAvailable, or less when an address-space
// limit (ulimit -v) leaves this process less room; 0 when unknown.
uint64_t AvailableMemoryBytes();

// Ok when `planes` more planes of W x H fit into the memory that is available now.
Status CheckPlanesFit(int32_t width, int32_t height, int planes);

// The same for `needed` bytes of work on a picture of W x H (saturated: too many to say).
Status CheckBytesFit(int64_t width, int64_t height, uint64_t needed);

// "There is not enough memory for a picture of W x H pixels ..." with the sizes in MB.
std::string MemoryShortageMessage(int64_t width, int64_t height, int planes);
std::string MemoryShortageMessageFor(int64_t width, int64_t height, uint64_t needed);
// Whether a refusal's message is one of those.
bool IsMemoryShortage(const std::string& message);

}  // namespace k3v
