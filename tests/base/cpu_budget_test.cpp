#include "base/cpu_budget.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::TempFolder;

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// A container's limit sits on a parent of the process's own cgroup, as Kubernetes puts a
// pod's: the tightest quota on the path counts, rounded up to whole cores, and the affinity
// mask binds as well.
TEST(CpuBudget, TheTightestOfTheAffinityMaskAndTheQuotasOnTheCgroupPath) {
    TempFolder folder;
    const std::string self = folder.file("cgroup");
    const std::string root = folder.file("fs");
    WriteText(self, "4:memory:/elsewhere\n0::/pod/box\n");
    WriteText(root + "/cpu.max", "100000 100000\n");
    WriteText(root + "/pod/cpu.max", "250000 100000\n");
    WriteText(root + "/pod/box/cpu.max", "max 100000\n");
    EXPECT_EQ(CpuBudgetFrom(8, self, root), 1);  // the root's quota binds its children
    std::filesystem::remove(root + "/cpu.max");
    EXPECT_EQ(CpuBudgetFrom(8, self, root), 3);  // 2.5 cores
    EXPECT_EQ(CpuBudgetFrom(2, self, root), 2);
    WriteText(root + "/pod/box/cpu.max", "50000 100000\n");
    EXPECT_EQ(CpuBudgetFrom(8, self, root), 1);  // half a core still runs one thread
}

TEST(CpuBudget, WithoutAQuotaTheAffinityMaskDecides) {
    TempFolder folder;
    const std::string root = folder.file("fs");
    WriteText(folder.file("v1only"), "4:memory:/x\n1:cpu:/x\n");
    WriteText(folder.file("v2"), "0::/\n");
    WriteText(root + "/cpu.max", "max 100000\n");
    EXPECT_EQ(CpuBudgetFrom(3, folder.file("missing"), root), 3);
    EXPECT_EQ(CpuBudgetFrom(3, folder.file("v1only"), root), 3);
    EXPECT_EQ(CpuBudgetFrom(3, folder.file("v2"), root), 3);
    WriteText(root + "/cpu.max", "garbage\n");
    EXPECT_EQ(CpuBudgetFrom(3, folder.file("v2"), root), 3);
}

}  // namespace
}  // namespace k3v
