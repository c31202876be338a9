#pragma once
// What both programs decide about an output's name before anything is written: the name
// proposed for a picture's stereo image, and whether an output would replace one of the
// pictures it is made from.

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/status.h"

namespace k3v {

// Where a path's folder part ends. The batch tool's names come from the system, where '\' and
// ':' may belong to a file name; the window also takes a path written the Windows way
// ("C:\pics\hall.tif"), whose folder ends at the last '/', '\' or ':'.
enum class FolderSeparators { System, AlsoWindows };

// "<name>_Unwrapped": the file name without folder and without its last extension.
// "/pics/hall.tif" gives "hall_Unwrapped", "/x/pano.old.jpg" gives "pano.old_Unwrapped".
std::string UnwrappedName(std::string_view path,
                          FolderSeparators separators = FolderSeparators::System);

// The files a conversion reads, known by identity rather than by name, so that no output
// replaces one of them through another spelling, a link or a second run over a folder that
// holds the first run's outputs. The overwrite question before a save only asked about a file.
class InputFiles {
  public:
    // Empty names and files that do not exist are left out.
    explicit InputFiles(std::span<const std::string> paths);

    // Ok, or "Cannot write "<output>": it is one of the input pictures, which would be lost".
    Status checkOutput(const std::string& output) const;

  private:
    std::set<std::pair<uint64_t, uint64_t>> files_;  // device and inode
};

}  // namespace k3v
