#include "output/safe_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
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
    if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
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
    std::string pattern = folder + "/.k3v-save-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    buffer_.reserve(kBufferSize);
    fd_ = mkstemp(name.data());
    if (fd_ < 0) {
        return failure(std::strerror(errno));
    }
    tempPath_ = name.data();
    // mkstemp creates the file readable by its owner only; give it the usual permissions.
    fchmod(fd_, 0666 & ~CurrentUmask());
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
    return publish();
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
