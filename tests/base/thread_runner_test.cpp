#include "base/thread_runner.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The threads a kernel takes follow the cores the process may use, not the machine's. A child
// process narrows its own affinity mask to one core.
TEST(ThreadsFor, StaysWithinTheAffinityMask) {
    if (ThreadsFor(size_t(1) << 30) < 2) {
        GTEST_SKIP() << "this process may use one core only";
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        const bool narrowed = sched_setaffinity(0, sizeof one, &one) == 0;
        _exit(narrowed && ThreadsFor(size_t(1) << 30) == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace k3v
