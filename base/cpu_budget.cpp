#include "base/cpu_budget.h"

#include <sched.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <thread>

namespace k3v {

namespace {

// Cores in this process's affinity mask; 0 when it cannot be read.
int AffinityCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) {
        return 0;  // a machine with more cores than cpu_set_t holds
    }
    return CPU_COUNT(&set);
}

// The cgroup v2 path of this process ("0::/a/b" gives "/a/b"); empty when it has none.
std::string CgroupPath(const std::string& cgroupFile) {
    std::ifstream in(cgroupFile);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("0::/", 0) == 0) {
            return line.substr(3);
        }
    }
    return "";
}

// Whole cores that one cpu.max file allows ("150000 100000" gives 2); INT_MAX for none.
int QuotaCores(const std::string& file) {
    std::ifstream in(file);
    std::string quota;
    long long period = 0;
    if (!(in >> quota >> period) || quota == "max" || period <= 0) {
        return INT_MAX;
    }
    try {
        const long long allowed = std::stoll(quota);
        if (allowed <= 0) {
            return INT_MAX;
        }
        return int(std::clamp<long long>((allowed + period - 1) / period, 1, INT_MAX));
    } catch (const std::exception&) {  // not a number
        return INT_MAX;
    }
}

// The smallest quota from the process's own cgroup up to the root: a parent's limit binds its
// children too. A path leading out of the mounted hierarchy ("/../x", as seen from inside a
// cgroup namespace) is followed no further than the root.
int CgroupCores(const std::string& cgroupFile, const std::string& cgroupRoot) {
    std::string path = CgroupPath(cgroupFile);
    if (path.find("/..") != std::string::npos) {
        path = "/";
    }
    int cores = INT_MAX;
    while (!path.empty()) {
        cores = std::min(cores, QuotaCores(cgroupRoot + (path == "/" ? "" : path) + "/cpu.max"));
        if (path == "/") {
            break;
        }
        path.resize(std::max<size_t>(path.rfind('/'), 1));
    }
    return cores;
}

int Budget(int affinityCpus, int quotaCores) {
    const int cores =
        affinityCpus > 0 ? affinityCpus : int(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, std::min(cores, quotaCores));
}

}  // namespace

int CpuBudgetFrom(int affinityCpus, const std::string& cgroupFile, const std::string& cgroupRoot) {
    return Budget(affinityCpus, CgroupCores(cgroupFile, cgroupRoot));
}

int CpuBudget() {
    static const int quota = CgroupCores("/proc/self/cgroup", "/sys/fs/cgroup");
    return Budget(AffinityCpus(), quota);
}

}  // namespace k3v
