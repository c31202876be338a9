#pragma once
// A value, or the Status-style message that says why there is none. For functions whose
// result is more than ok-or-not; everything else returns a Status.

#include <cassert>
#include <optional>
#include <string>
#include <utility>

#include "base/status.h"

namespace k3v {

template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    // Only a failed status: a result that is ok carries its value.
    Result(Status failure) : failure_(std::move(failure)) { assert(!failure_.ok()); }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return failure_.message(); }
    const Status& status() const { return failure_; }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }

  private:
    std::optional<T> value_;
    Status failure_ = Status::Ok();
};

}  // namespace k3v
