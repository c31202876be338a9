#pragma once
// The one result type that crosses module boundaries: ok, or a message for the user.
// The message is complete ("Cannot read "x.jpg": not a JPEG file"); callers show it as it is.

#include <string>
#include <utility>

namespace k3v {

class Status {
  public:
    static Status Ok() { return Status(); }
    static Status Error(std::string message) { return Status(std::move(message)); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }

  private:
    Status() = default;
    explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

    bool failed_ = false;
    std::string message_;
};

}  // namespace k3v
