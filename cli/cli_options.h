#pragma once
// The batch tool's command line:
//   k3v-convert [options] FIRST [SECOND] -o OUTPUT
//   k3v-convert [options] INPUT... --output-dir DIR [--format jpg|bmp]

#include <string>
#include <vector>

#include "stereo/conversion_settings.h"

namespace k3v {

struct CliOptions {
    ConversionSettings settings;
    int jpegQuality = 100;
    std::vector<std::string> inputs;
    std::string output;     // -o: one conversion
    std::string outputDir;  // --output-dir: one output per input (per pair in standard mode)
    std::string format = "jpg";
    bool showHelp = false;
};

struct ParsedCommandLine {
    bool ok = false;
    std::string error;  // one line, for a usage error
    CliOptions options;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

// One conversion: the inputs (one picture, or a pair in standard mode) and the output file.
struct ConversionJob {
    std::string first;
    std::string second;
    std::string output;
};

// The jobs the options ask for; in a batch each output is "<name>_Unwrapped.<ext>" in the
// output folder. `error` is set when two inputs would write the same output.
std::vector<ConversionJob> PlanJobs(const CliOptions& options, std::string& error);

}  // namespace k3v
