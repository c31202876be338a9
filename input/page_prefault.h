#pragma once
// Fresh memory costs a page fault on the first write to each page, which the kernel answers one
// page at a time. A decoder that fills a large new plane row by row spends a good part of its
// time there; a helper thread can have the pages mapped ahead of it instead.

#include <atomic>
#include <cstddef>
#include <memory>

#include "base/thread_runner.h"

namespace k3v {

// Maps the pages of [begin, begin + bytes) for writing on a second thread, from the end of the
// range towards its start (the order a bottom-up plane is filled from the top row). Contents
// are not touched, so the owner may write anywhere in the range meanwhile. Stops when
// destroyed; does nothing where the system cannot populate pages ahead.
class PagePrefault {
  public:
    PagePrefault(void* begin, size_t bytes);
    ~PagePrefault();
    PagePrefault(const PagePrefault&) = delete;
    PagePrefault& operator=(const PagePrefault&) = delete;

    // Waits until every page is mapped, or the system declined; for tests.
    void finish() { helper_.reset(); }

  private:
    std::atomic<bool> stop_{false};
    std::unique_ptr<HelperThread> helper_;  // declared last: joined before stop_ goes
};

}  // namespace k3v
