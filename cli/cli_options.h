#pragma once
// The batch tool's command line:
//   k3v-convert [options] PICTURE -o OUTPUT
//   k3v-convert [options] --mode standard RIGHT_EYE LEFT_EYE -o OUTPUT
//   k3v-convert [options] INPUT... --output-dir DIR [--format jpg|bmp|tif|mpo|jps]

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "job/file_conversion.h"
#include "output/output_format.h"
#include "stereo/conversion_settings.h"

namespace k3v {

struct CliOptions {
    ConversionSettings settings;
    AlignmentRequest alignment;  // --align, --stereo-window: standard mode's pairs lined up
    int jpegQuality = 100;
    TiffCompression tiffCompression = kDefaultTiffCompression;  // --tiff-compression
    bool keepMetadata = false;  // --keep-metadata: JPEG outputs keep the photo's information
    std::vector<std::string> inputs;
    std::string output;     // -o: one conversion
    std::string outputDir;  // --output-dir: one output per input (per pair in standard mode)
    std::string format = "jpg";
    std::string depthMap;     // --depth-map: the depth map of the one input
    std::string depthMapDir;  // --depth-map-dir: each input's map, <name>_depth.<ext>
    int jobs = 0;        // --jobs: files converted at once; 0: as many as cores and memory allow
    std::string report;  // --report: one JSON line per input, appended
    bool skipExisting = false;  // --skip-existing
    bool showHelp = false;
    bool showVersion = false;
};

// An error is a usage error: one line, for standard error.
Result<CliOptions> ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

// "k3v-convert <version>\n".
std::string VersionText();

// The options, one row each: parsing, the checks of their values and the usage text all come
// from here, so an option is added by adding its row.
struct OptionChoice {
    std::string_view name;
    int32_t value;
};

struct OptionValue {
    enum class Kind { None, Text, Number, Choice };
    Kind kind = Kind::None;
    SettingRange range{0, 0};            // Number: a value outside is a usage error
    bool (*accepts)(int32_t) = nullptr;  // Number: the allowed values, instead of range
    // Choice, in the order the usage lists them; Number: names it takes besides numbers
    std::span<const OptionChoice> choices{};
    // The usage error for any refused value, "<option> <refusal>, not "<value>""; empty for
    // the usual wording of the kind.
    std::string_view refusal{};
    // A flag that answers on its own (--help, --version): the rest is not looked at.
    bool endsParsing = false;
};

struct OptionRow {
    std::string_view name;
    std::string_view alias;        // accepted as well, not listed in the usage
    std::string_view placeholder;  // "--effect N"; a choice lists its names instead
    std::string_view help;         // "{range}" stands for "min..max"; '\n' continues below
    OptionValue value;
    // Sets the options from a checked value: `number` is a number's or choice's value,
    // `text` the value as given.
    void (*apply)(CliOptions& options, int32_t number, const std::string& text);
};

std::span<const OptionRow> OptionTable();

// The jobs the options ask for; in a batch each output is "<name>_Unwrapped.<ext>" in the
// output folder. Fails (a usage error) when two inputs would write the same output.
Result<std::vector<ConversionJob>> PlanJobs(const CliOptions& options);

}  // namespace k3v
