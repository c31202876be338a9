#include "base/huge_pages.h"

#include <gnu/libc-version.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace k3v {

void AskForHugePages(void* begin, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    // Below a few huge pages the rounding would leave little to gain.
    if (bytes < 4 * kHuge) {
        return;
    }
    const uintptr_t first = (uintptr_t(begin) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (uintptr_t(begin) + bytes) & ~(kHuge - 1);
    if (end > first) {
        (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
#else
    (void)begin;
    (void)bytes;
#endif
}

namespace {

constexpr const char* kTunables = "GLIBC_TUNABLES";
constexpr const char* kHugePageMalloc = "glibc.malloc.hugetlb=1";

bool HugePagesOnRequestOnly() {
    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    return std::getline(mode, line) && line.find("[madvise]") != std::string::npos;
}

// The tunable came with glibc 2.35.
bool MallocKnowsTheTunable() {
    int major = 0;
    int minor = 0;
    return std::sscanf(gnu_get_libc_version(), "%d.%d", &major, &minor) == 2 &&
           (major > 2 || (major == 2 && minor >= 35));
}

// Valgrind's tools replace malloc too, and a restarted program would run outside them.
bool UnderValgrind() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

}  // namespace

// The sanitizers bring their own malloc.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define K3V_OWN_MALLOC 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define K3V_OWN_MALLOC 1
#endif
#if defined(K3V_OWN_MALLOC)
constexpr bool kOwnMalloc = true;
#else
constexpr bool kOwnMalloc = false;
#endif

void RestartWithHugePageMalloc(char** argv) {
    const char* found = std::getenv(kTunables);
    const std::string tunables = found != nullptr ? found : "";
    if (kOwnMalloc || tunables.find("glibc.malloc.hugetlb") != std::string::npos ||
        !HugePagesOnRequestOnly() || !MallocKnowsTheTunable() || UnderValgrind()) {
        return;
    }
    const std::string value = tunables.empty() ? kHugePageMalloc : tunables + ":" + kHugePageMalloc;
    if (setenv(kTunables, value.c_str(), 1) != 0) {
        return;
    }
    execv("/proc/self/exe", argv);
    // Not restarted (no /proc, say): go on as we are, without leaving the setting behind.
    if (found != nullptr) {
        setenv(kTunables, tunables.c_str(), 1);
    } else {
        unsetenv(kTunables);
    }
}

}  // namespace k3v
