#pragma once
// A program run as "nobody" when the test runs as root, who ignores file permissions and
// process limits. The build tree may sit where nobody cannot enter (root's home, a fresh clone
// in a 0700 folder), so nobody runs a copy of the program from a temporary folder it can
// reach; the programs need nothing else from the build tree (they link system libraries only).

#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace k3v::testing {

class AsNobody {
  public:
    explicit AsNobody(const std::string& program) : program_(program) {
        if (geteuid() != 0) {
            return;
        }
        namespace fs = std::filesystem;
        const fs::perms readAndRun = fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec;
        program_ = copy_.file(fs::path(program).filename().string());
        fs::copy_file(program, program_);
        fs::permissions(copy_.path(), readAndRun);
        fs::permissions(program_, readAndRun);
        prefix_ = "setpriv --reuid=nobody --regid=nogroup --clear-groups";
    }

    // The program to run: a copy nobody can reach when root, else the program itself.
    const std::string& program() const { return program_; }
    // Shell text before the command: drops to nobody when root, else empty.
    const std::string& prefix() const { return prefix_; }

  private:
    TempFolder copy_;
    std::string program_;
    std::string prefix_;
};

}  // namespace k3v::testing
