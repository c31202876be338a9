#pragma once
// The batch's report for schedulers and people: one JSON object per input on a line of its
// own, written as the input finishes, so that a failed file can be found and run again.
//   {"input":"a.jpg","outputs":["out/a_Unwrapped.jpg"],"status":"ok","message":"",
//    "width":4000,"height":2000,"seconds":1.25}
// A pair in standard mode names its first picture as "input" and its second as "second"; an
// aligned pair adds what aligning did before "seconds":
//   "aligned":true,"turned_deg":1.20,"scaled_percent":1.50,"moved_px":9.0,"keystone":false,
//   "window_px":0,"matches":412,"cropped":[1240,1060]

#include <string>

#include "job/batch_run.h"

namespace k3v {

// The line without its line break. Strings are escaped as JSON asks (quote, backslash,
// control characters); other bytes are kept as they are in the file name.
std::string ReportLine(const JobOutcome& outcome);

}  // namespace k3v
