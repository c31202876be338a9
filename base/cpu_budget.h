#pragma once
// How many cores this process may keep busy. The machine's core count says nothing about that:
// an affinity mask (taskset, a batch scheduler's --cpus-per-task) or a cgroup's CPU quota (a
// container's CPU limit) can leave it fewer, and threads beyond them only wait for each other.

#include <string>

namespace k3v {

// The cores of this process's affinity mask, no more than its cgroup's CPU quota allows, and
// at least 1. The mask is read at each call (it may change); the quota once.
int CpuBudget();

// The same from given sources: `affinityCpus` cores in the mask (0: unknown), `cgroupFile` in
// the form of /proc/self/cgroup and `cgroupRoot` where the cgroup v2 hierarchy is mounted.
// The quota is the smallest that cpu.max gives along the cgroup's path, rounded up to whole
// cores; "max" or a missing file sets none.
int CpuBudgetFrom(int affinityCpus, const std::string& cgroupFile, const std::string& cgroupRoot);

}  // namespace k3v
