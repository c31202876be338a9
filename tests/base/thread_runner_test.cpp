#include "base/thread_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>

namespace k3v {
namespace {

// An exception that left its own thread would end the process; it reaches the caller instead,
// after every other body has finished.
TEST(RunOnThreads, AnExceptionOnAnyThreadReachesTheCallerOnceAllHaveEnded) {
    std::atomic<int> finished{0};
    EXPECT_THROW(RunOnThreads(4,
                              [&](int t) {
                                  if (t == 2) {
                                      throw std::bad_alloc();
                                  }
                                  finished.fetch_add(1, std::memory_order_relaxed);
                              }),
                 std::bad_alloc);
    EXPECT_EQ(finished.load(), 3);
    // Help that throws is help not given.
    {
        const HelperThread helper([] { throw std::runtime_error("no help"); });
    }
}

}  // namespace
}  // namespace k3v
