// Starts as both programs do and prints GLIBC_TUNABLES as the (possibly restarted) process sees
// it, for the restart test.
#include <cstdio>
#include <cstdlib>

#include "base/huge_pages.h"

int main(int, char** argv) {
    k3v::RestartWithHugePageMalloc(argv);
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("%s\n", tunables != nullptr ? tunables : "");
    return 0;
}
