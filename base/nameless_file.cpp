#include "base/nameless_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

namespace k3v {

namespace {

int NamelessFileIn(const std::string& folder) {
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
#endif
    std::string name = (std::filesystem::path(folder) / ".k3v-rows-XXXXXX").string();
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) {
        ::unlink(name.c_str());
    }
    return named;
}

}  // namespace

int OpenNamelessFile(const std::string& folder) {
    const int fd = folder.empty() ? -1 : NamelessFileIn(folder);
    if (fd >= 0) {
        return fd;
    }
    const int error = errno;
    std::error_code unknown;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(unknown);
    if (unknown) {
        errno = error;
        return -1;
    }
    return NamelessFileIn(temporary.string());
}

namespace {

// All `count` bytes through `io` (pread or pwrite) from `at` on; a call that moves nothing
// fails with `stalled`.
template <typename Bytes, typename Io>
bool AllAt(Io io, int fd, Bytes* bytes, size_t count, off_t at, int stalled) {
    while (count > 0) {
        const ssize_t done = io(fd, bytes, count, at);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            if (done == 0) {
                errno = stalled;
            }
            return false;
        }
        bytes += done;
        count -= size_t(done);
        at += done;
    }
    return true;
}

}  // namespace

bool WriteAllAt(int fd, const void* bytes, size_t count, off_t at) {
    return AllAt(::pwrite, fd, static_cast<const uint8_t*>(bytes), count, at, ENOSPC);
}

bool ReadAllAt(int fd, void* bytes, size_t count, off_t at) {
    return AllAt(::pread, fd, static_cast<uint8_t*>(bytes), count, at, EIO);
}

}  // namespace k3v
