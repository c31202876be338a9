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

// to_chars, not printf: the locale the program runs in must not turn the point into a comma.
std::string Fixed(double value, int decimals) {
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, end.ptr);
}

// What aligning the pair did, as the line's last fields but the time.
std::string AlignmentFields(const AlignmentOutcome& a) {
    return std::string(",\"aligned\":") + (a.aligned ? "true" : "false") +
           ",\"turned_deg\":" + Fixed(a.turnedDegrees, 2) +
           ",\"scaled_percent\":" + Fixed(a.scaledPercent, 2) +
           ",\"moved_px\":" + Fixed(a.movedPixels, 1) +
           ",\"keystone\":" + (a.keystone ? "true" : "false") +
           ",\"window_px\":" + std::to_string(a.windowShift) +
           ",\"matches\":" + std::to_string(a.matches) + ",\"cropped\":[" +
           std::to_string(a.width) + "," + std::to_string(a.height) + "]";
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
    line += std::string("],\"status\":\"") + StatusName(o.status) +
            "\",\"message\":" + Quoted(o.message) + ",\"width\":" + std::to_string(o.width) +
            ",\"height\":" + std::to_string(o.height);
    if (o.alignment) {
        line += AlignmentFields(*o.alignment);
    }
    return line + ",\"seconds\":" + Fixed(o.seconds, 3) + "}";
}

}  // namespace k3v
