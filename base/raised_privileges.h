#pragma once
// Started set-user-ID, set-group-ID or with file capabilities, a program runs with rights its
// user does not have. A picture converter has no use for them, and Qt refuses such a start
// with an abort; both programs say so plainly instead and end with status 1.

namespace k3v {

// Whether the kernel started this process in secure mode (changed user or group, or gained
// capabilities).
bool RunsWithRaisedPrivileges();

// The one line both programs print before they stop, after "PROGRAM: ".
inline constexpr const char* kRaisedPrivilegesMessage =
    "will not run with set-user-ID, set-group-ID or capability privileges; run it as the user "
    "whose files it reads and writes";

}  // namespace k3v
