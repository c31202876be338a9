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

// Where the system gives huge pages only on request, starts this program once more (same
// arguments) with glibc's malloc making that request for every large block, so that the
// buffers libraries allocate for us (TurboJPEG's loader, Qt's images) get them too. Returns
// when no restart is needed or possible; the restarted program's call returns at once.
void RestartWithHugePageMalloc(char** argv);

}  // namespace k3v
