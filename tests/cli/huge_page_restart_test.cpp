#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string ProbeOutput(const std::string& tunables) {
    const std::string command = "GLIBC_TUNABLES='" + tunables + "' timeout 10 " K3V_RESTART_PROBE;
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << "the probe did not end by itself";
    return out;
}

// The restart, where the system asks for it, adds the huge-page tunable to the ones the user
// set and happens once; where it does not, the environment is left as it was.
TEST(HugePageRestart, KeepsTheUsersTunablesAndRestartsOnce) {
    const std::string own = "glibc.malloc.check=0";
    const std::string out = ProbeOutput(own);
    EXPECT_TRUE(out == own + "\n" || out == own + ":glibc.malloc.hugetlb=1\n") << out;
    const std::string set = "glibc.malloc.hugetlb=0";
    EXPECT_EQ(ProbeOutput(set), set + "\n");
}

}  // namespace
