#include "input/library_messages.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace k3v {

namespace {

std::mutex& StandardErrorMutex() {
    static std::mutex mutex;
    return mutex;
}

// Text of fd from its start; the buffer file never grows beyond a few lines per picture.
std::string ReadAll(int fd) {
    std::string text;
    if (lseek(fd, 0, SEEK_SET) != 0) {
        return text;
    }
    char chunk[4096];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, size_t(got));
    }
    return text;
}

}  // namespace

std::unique_lock<std::mutex> LockStandardError() {
    return std::unique_lock(StandardErrorMutex());
}

CaughtLibraryMessages::CaughtLibraryMessages() : lock_(StandardErrorMutex()) {
    // While caught, a crash report (a sanitizer's, say) would land in the buffer and be lost
    // with the process; fuzzing and debugging runs keep the stream as it is.
    if (std::getenv("K3V_SHOW_LIBRARY_MESSAGES") != nullptr) {
        return;
    }
    std::fflush(stderr);
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        return;  // nothing caught: the lines stay on the terminal, nothing worse
    }
    buffer_ = dup(fileno(file));
    std::fclose(file);  // the file lives on (unnamed) through buffer_
    saved_ = dup(STDERR_FILENO);
    if (buffer_ < 0 || saved_ < 0 || dup2(buffer_, STDERR_FILENO) < 0) {
        if (saved_ >= 0) {
            close(saved_);
            saved_ = -1;
        }
    }
}

CaughtLibraryMessages::~CaughtLibraryMessages() {
    finish();
}

std::string CaughtLibraryMessages::finish() {
    if (saved_ >= 0) {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
        text_ = ReadAll(buffer_);
    }
    if (buffer_ >= 0) {
        close(buffer_);
        buffer_ = -1;
    }
    if (lock_.owns_lock()) {
        lock_.unlock();
    }
    return text_;
}

std::string LibraryReason(const std::string& caught) {
    std::istringstream lines(caught);
    std::string reason;
    for (std::string line; std::getline(lines, line);) {
        const std::string png = "libpng error: ";
        if (line.rfind(png, 0) == 0) {
            const std::string text = line.substr(png.size());
            // libpng's "Read Error" means the stream ended early.
            reason = text == "Read Error" ? "the PNG file is cut short"
                                          : "the PNG data is damaged (" + text + ")";
        } else if (line.rfind("TIFF", 0) == 0 && line.find("Warning") == std::string::npos) {
            // "TIFFFillStrip: Read error at scanline 7; got 2513 bytes, expected 2553."
            // libtiff names the stream by a made-up file name of Qt's, which we leave out.
            std::string text = line.substr(line.rfind(": ") + 2);
            while (!text.empty() && (text.back() == '.' || text.back() == '\r')) {
                text.pop_back();
            }
            reason = "the TIFF data is damaged (" + text + ")";
        }
    }
    return reason;
}

}  // namespace k3v
