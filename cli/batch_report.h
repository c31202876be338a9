#pragma once
// The batch's report for schedulers and people: one JSON object per input on a line of its
// own, written as the input finishes, so that a failed file can be found and run again.
//   {"input":"a.jpg","outputs":["out/a_Unwrapped.jpg"],"status":"ok","message":"",
//    "width":4000,"height":2000,"seconds":1.25}
// A pair in standard mode names its first picture as "input" and its second as "second".

#include <string>
#include <vector>

namespace k3v {

struct JobOutcome {
    enum class Status { Ok, Failed, Skipped };
    std::string input;
    std::string second;                // standard mode's second picture; empty otherwise
    std::vector<std::string> outputs;  // the files written, or that would have been
    Status status = Status::Ok;
    // Why it failed or was skipped; when ok, what of the photo's information was not kept
    // (--keep-metadata), or empty.
    std::string message;
    int width = 0, height = 0;  // the first picture's size; 0 when it was not read
    double seconds = 0;
};

// The line without its line break. Strings are escaped as JSON asks (quote, backslash,
// control characters); other bytes are kept as they are in the file name.
std::string ReportLine(const JobOutcome& outcome);

}  // namespace k3v
