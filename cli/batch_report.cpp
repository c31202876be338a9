#include "cli/batch_report.h"

#include <charconv>
#include <cstdio>

namespace k3v {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

const char* StatusName(JobOutcome::Status status) {
    switch (status) {
        case JobOutcome::Status::Ok:
            return "ok";
        case JobOutcome::Status::Failed:
            return "failed";
        case JobOutcome::Status::Skipped:
            return "skipped";
    }
    return "failed";
}

}  // namespace

std::string ReportLine(const JobOutcome& o) {
    std::string line = "{\"input\":" + Quoted(o.input);
    if (!o.second.empty()) {
        line += ",\"second\":" + Quoted(o.second);
    }
    line += ",\"outputs\":[";
    for (size_t i = 0; i < o.outputs.size(); ++i) {
        line += (i == 0 ? "" : ",") + Quoted(o.outputs[i]);
    }
    // to_chars, not printf: the locale the program runs in must not turn the point into a comma.
    char seconds[32];
    const auto end = std::to_chars(seconds, seconds + sizeof seconds - 1, o.seconds,
                                   std::chars_format::fixed, 3);
    *end.ptr = '\0';
    line += std::string("],\"status\":\"") + StatusName(o.status) +
            "\",\"message\":" + Quoted(o.message) + ",\"width\":" + std::to_string(o.width) +
            ",\"height\":" + std::to_string(o.height) + ",\"seconds\":" + seconds + "}";
    return line;
}

}  // namespace k3v
