#pragma once
// Writes a file so that the target is either the complete new file or untouched: the bytes go
// to a temporary file in the target's folder, which is renamed over the target only after
// everything was written and flushed. Any failure removes the temporary file and reports the
// reason (folder missing, not writable, disk full, target is a folder, ...). The new file keeps
// the permissions of the file it replaces, or else gets those of any new file (0666 less the
// umask).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"

namespace k3v {

class SafeFileWriter {
  public:
    SafeFileWriter() = default;
    ~SafeFileWriter();  // discards an uncommitted temporary file
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Checks the target and creates the temporary file beside it.
    Status open(const std::string& path);

    // Appends bytes. A failure is sticky: later writes do nothing and commit() reports it.
    void write(const void* bytes, size_t count);

    // Bytes appended so far.
    uint64_t size() const { return size_; }

    // Whether a write has failed already (finish() tells why), so that a long encoding can stop.
    bool failed() const { return errno_ != 0; }

    // Replaces bytes already appended, from `offset` on (a header whose values are known
    // only at the end). A failure is sticky, as for write().
    void overwrite(uint64_t offset, std::span<const uint8_t> bytes);

    // Flushes, closes and renames the temporary file over the target, then writes the folder
    // to disk so that the rename survives a power cut. When only that last step fails, the
    // new file is in place and the message says so.
    Status commit();

    // commit() in steps, so that several files can all be written before any replaces its
    // target: finish() flushes and closes the temporary file, publish() renames it, and
    // syncFolder() writes the folder to disk (once for files in one folder).
    Status finish();
    Status publish();
    Status syncFolder() const;

  private:
    void discard();
    void flush();
    Status settle();  // the first error, reported once with the temporary file gone
    void writeThrough(const char* bytes, size_t count);
    Status failure(const std::string& reason) const;

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    int errno_ = 0;             // first write error, 0 while all is well
    std::vector<char> buffer_;  // gathers small writes (rows of narrow pictures) into large ones
    uint64_t size_ = 0;
};

// Writes the whole of `bytes` to `path` through a SafeFileWriter.
Status WriteFileSafely(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace k3v
