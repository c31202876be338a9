#include "output/safe_file_writer.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace k3v {

namespace {

constexpr size_t kBufferSize = size_t(1) << 20;

std::string FolderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Six characters for a temporary file's name; O_EXCL, not the name, keeps the file ours.
std::string RandomSuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    uint8_t bytes[6] = {};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        static std::atomic<uint64_t> counter{0};
        uint64_t mix = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (uint64_t(getpid()) << 32) ^ counter.fetch_add(1, std::memory_order_relaxed);
        for (uint8_t& byte : bytes) {
            mix = mix * 6364136223846793005u + 1442695040888963407u;
            byte = uint8_t(mix >> 56);
        }
    }
    std::string suffix;
    for (const uint8_t byte : bytes) {
        suffix += kLetters[byte % (sizeof kLetters - 1)];
    }
    return suffix;
}

// Creates a new file of a free name in `folder` with mode 0666, which the kernel narrows by the
// umask (or the folder's default ACL) as for any new file. Reading the umask ourselves would
// mean setting it, and that is process-wide: a file another thread created meanwhile would be
// writable by everyone.
int CreateTemporaryFile(const std::string& folder, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/.k3v-save-" + RandomSuffix();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

SafeFileWriter::~SafeFileWriter() {
    discard();
}

Status SafeFileWriter::failure(const std::string& reason) const {
    return CannotWrite(path_, reason);
}

Status SafeFileWriter::open(const std::string& path) {
    discard();
    path_ = path;
    errno_ = 0;
    if (path.empty()) {
        return failure("no file name was given");
    }
    struct stat target {};
    if (stat(path.c_str(), &target) != 0) {
        target.st_mode = 0;  // no file there yet
    }
    if (S_ISDIR(target.st_mode)) {
        return failure("it is a folder");
    }
    const std::string folder = FolderOf(path);
    struct stat folderInfo {};
    if (stat(folder.c_str(), &folderInfo) != 0) {
        return failure("the folder \"" + folder + "\" does not exist");
    }
    if (!S_ISDIR(folderInfo.st_mode)) {
        return failure("\"" + folder + "\" is not a folder");
    }

    // The temporary file sits beside the target so that the final rename stays on one file
    // system and replaces the target in one step.
    buffer_.reserve(kBufferSize);
    std::string name;
    fd_ = CreateTemporaryFile(folder, name);
    if (fd_ < 0) {
        return failure(std::strerror(errno));
    }
    tempPath_ = name;
    // A file that is replaced keeps its permissions, as it would if it were written in place.
    // Where they cannot be set (a file system without them), the new file's stand.
    if (S_ISREG(target.st_mode)) {
        (void)fchmod(fd_, target.st_mode & 0777);
    }
    return Status::Ok();
}

void SafeFileWriter::write(const void* bytes, size_t count) {
    if (fd_ < 0 || errno_ != 0) {
        return;
    }
    const char* next = static_cast<const char*>(bytes);
    size_ += count;
    if (buffer_.size() + count > kBufferSize) {
        flush();
    }
    if (count >= kBufferSize) {
        writeThrough(next, count);
    } else {
        buffer_.insert(buffer_.end(), next, next + count);
    }
}

void SafeFileWriter::overwrite(uint64_t offset, std::span<const uint8_t> bytes) {
    if (fd_ < 0 || errno_ != 0) {
        return;
    }
    flush();
    for (size_t done = 0; done < bytes.size() && errno_ == 0;) {
        const ssize_t written =
            ::pwrite(fd_, bytes.data() + done, bytes.size() - done, off_t(offset + done));
        if (written < 0) {
            if (errno != EINTR) {
                errno_ = errno;
            }
            continue;
        }
        done += size_t(written);
    }
}

void SafeFileWriter::flush() {
    writeThrough(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void SafeFileWriter::writeThrough(const char* next, size_t count) {
    while (count > 0 && errno_ == 0) {
        const ssize_t written = ::write(fd_, next, count);
        if (written < 0) {
            if (errno != EINTR) {
                errno_ = errno;
            }
            continue;
        }
        next += written;
        count -= size_t(written);
    }
}

Status SafeFileWriter::commit() {
    if (Status finished = finish(); !finished) {
        return finished;
    }
    if (Status published = publish(); !published) {
        return published;
    }
    return syncFolder();
}

Status SafeFileWriter::finish() {
    if (fd_ < 0) {
        return failure("the file was not opened");
    }
    flush();
    if (errno_ == 0 && fsync(fd_) != 0) {
        errno_ = errno;
    }
    if (::close(fd_) != 0 && errno_ == 0) {
        errno_ = errno;
    }
    fd_ = -1;
    return settle();
}

Status SafeFileWriter::publish() {
    if (tempPath_.empty()) {
        return failure("the file was not opened");
    }
    if (errno_ == 0 && std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        errno_ = errno;
    }
    if (Status settled = settle(); !settled) {
        return settled;
    }
    tempPath_.clear();
    return Status::Ok();
}

Status SafeFileWriter::syncFolder() const {
    const int folder = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return Status::Ok();  // a folder we may write to but not read (-wx): nothing to sync
    }
    const int synced = fsync(folder);
    const int error = errno;
    ::close(folder);
    // Some file systems cannot sync a folder and say so; theirs is not a failure of ours.
    if (synced == 0 || error == EINVAL || error == EOPNOTSUPP) {
        return Status::Ok();
    }
    return failure(std::string("the new file is in place, but its folder could not be written "
                               "to disk (") +
                   std::strerror(error) + "), so a power cut may still lose it");
}

Status SafeFileWriter::settle() {
    if (errno_ != 0) {
        const Status result = failure(std::strerror(errno_));
        discard();
        return result;
    }
    return Status::Ok();
}

void SafeFileWriter::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

Status WriteFileSafely(const std::string& path, std::span<const uint8_t> bytes) {
    SafeFileWriter writer;
    if (Status opened = writer.open(path); !opened) {
        return opened;
    }
    writer.write(bytes.data(), bytes.size());
    return writer.commit();
}

}  // namespace k3v
