#pragma once
// Fresh memory costs a page fault on the first write to each page. For the large buffers of a
// conversion (planes, kept JPEG symbols) 2 MiB pages cut those faults 512-fold, which is a good
// part of the time a whole run takes.

#include <cstddef>

namespace k3v {

// Asks the system to back the 2 MiB-aligned part of [begin, begin + bytes) with huge pages
// where it allows that; small ranges and systems without the facility are left as they are.
// Contents are not touched.
void AskForHugePages(void* begin, size_t bytes);

}  // namespace k3v
