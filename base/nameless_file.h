#pragma once
// Temporary files that have no name: rows put aside while a picture too large to hold passes
// through. Nothing is left of one however the program ends, as no name ever points at it.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace k3v {

// An open file for reading and writing in `folder`, or else in the system's temporary folder
// ($TMPDIR or /tmp): made without a name where the file system allows, else made under a fresh
// name that is removed at once. -1 (errno set) when neither folder takes one.
int OpenNamelessFile(const std::string& folder);

// Writes (reads) all `count` bytes at `at`; false (errno set) when they cannot be, a read past
// the end being EIO.
bool WriteAllAt(int fd, const void* bytes, size_t count, off_t at);
bool ReadAllAt(int fd, void* bytes, size_t count, off_t at);

}  // namespace k3v
