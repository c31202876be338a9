#pragma once
// A small file system mounted over a test folder, unmounted again whatever the test's outcome.

#include <sys/mount.h>

#include <string>

namespace k3v::testing {

struct SmallDisk {
    std::string path;
    ~SmallDisk() {
        if (!path.empty()) {
            umount(path.c_str());
        }
    }
};

}  // namespace k3v::testing
