#pragma once
// The one result type that crosses module boundaries: ok, or a message for the user.
// The message is complete ("Cannot read "x.jpg": not a JPEG file"); callers show it as it is.
// (base/result.h adds a value for the functions that hand one back.)

#include <string>
#include <utility>

namespace k3v {

class [[nodiscard]] Status {
  public:
    static Status Ok() { return Status(); }
    static Status Error(std::string message) { return Status(std::move(message)); }
    // Work the user stopped (progress.h): a failure with nothing to report, which leaves
    // everything as it was before the work began.
    static Status Cancelled() {
        Status status("Cancelled");
        status.cancelled_ = true;
        return status;
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }
    bool cancelled() const { return cancelled_; }

  private:
    Status() = default;
    explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

    bool failed_ = false;
    bool cancelled_ = false;
    std::string message_;
};

// The shapes every file failure takes, so that both programs word them alike.
inline Status CannotLoad(const std::string& path, const std::string& reason) {
    return Status::Error("Cannot load \"" + path + "\": " + reason);
}
inline Status CannotConvert(const std::string& path, const std::string& reason) {
    return Status::Error("Cannot convert \"" + path + "\": " + reason);
}
inline Status CannotWrite(const std::string& path, const std::string& reason) {
    return Status::Error("Cannot write \"" + path + "\": " + reason);
}

// `text` with its line breaks turned into blanks: the warning texts of the picture checks hold
// line breaks, a line of a report or of standard error does not.
inline std::string OnOneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            line += ' ';
        } else if (c != '\r') {
            line += c;
        }
    }
    return line;
}

}  // namespace k3v
