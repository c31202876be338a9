#include "cli/cli_options.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "output/output_format.h"
#include "output/output_naming.h"
#include "stereo/depth_list.h"

namespace k3v {

namespace {

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

struct Parser {
    ParsedCommandLine result;

    bool fail(std::string message) {
        result.ok = false;
        result.error = std::move(message);
        return false;
    }

    bool number(const std::string& option, const std::string& text, SettingRange range,
                int& value) {
        if (!ParseInt(text, value)) {
            return fail(option + " takes a whole number, not \"" + text + "\"");
        }
        if (value < range.min || value > range.max) {
            return fail(option + " must lie between " + std::to_string(range.min) + " and " +
                        std::to_string(range.max) + ", not " + text);
        }
        return true;
    }

    bool choice(const std::string& option, const std::string& text,
                const std::map<std::string, int32_t>& choices, int32_t& value) {
        const auto found = choices.find(text);
        if (found == choices.end()) {
            std::string names;
            for (const auto& [name, ignored] : choices) {
                names += (names.empty() ? "" : ", ") + name;
            }
            return fail(option + " takes one of " + names + ", not \"" + text + "\"");
        }
        value = found->second;
        return true;
    }

    // Applies one option with its value; false on a usage error.
    bool apply(const std::string& option, const std::string& value) {
        CliOptions& o = result.options;
        ConversionSettings& s = o.settings;
        int n = 0;
        if (option == "--mode") {
            return choice(option, value, {{"k3v", kK3vStereo}, {"standard", kStandardStereo}},
                          s.TransformationMode);
        }
        if (option == "--layout") {
            return choice(option, value,
                          {{"anaglyph", kAnaglyph},
                           {"vertical", kSideBySideVertical},
                           {"horizontal", kSideBySideHorizontal}},
                          s.StereoLayout);
        }
        if (option == "--kind") {
            return choice(option, value, {{"panorama", kPanorama}, {"photo", kStillPhoto}},
                          s.SourceKind);
        }
        if (option == "--effect") {
            if (!number(option, value, kStereoEffectRange, n)) {
                return false;
            }
            s.StereoEffect = int16_t(n);
            return true;
        }
        if (option == "--depth") {
            if (!ParseInt(value, n) || !IsDepthListValue(n)) {
                return fail("--depth takes one of 20, 25, 30, ... 90, not \"" + value + "\"");
            }
            s.DepthOn = 1;
            s.DepthValue = n;
            return true;
        }
        if (option == "--sharpen") {
            s.SharpenOn = 1;
            return number(option, value, kSharpenLevelRange, s.SharpenLevel);
        }
        if (option == "--sharpen-blend") {
            return number(option, value, kSharpenBlendRange, s.SharpenBlend);
        }
        if (option == "--brightness") {
            s.BrightnessOn = 1;
            return number(option, value, kBrightnessRange, s.Brightness);
        }
        if (option == "--contrast") {
            s.ContrastOn = 1;
            return number(option, value, kContrastRange, s.Contrast);
        }
        if (option == "--noise") {
            s.NoiseOn = 1;
            return number(option, value, kNoisePassesRange, s.NoisePasses);
        }
        if (option == "--quality") {
            return number(option, value, {50, 100}, o.jpegQuality);
        }
        if (option == "-o" || option == "--output") {
            o.output = value;
            return true;
        }
        if (option == "--output-dir") {
            o.outputDir = value;
            return true;
        }
        if (option == "--format") {
            if (value != "jpg" && value != "bmp") {
                return fail("--format takes jpg or bmp, not \"" + value + "\"");
            }
            o.format = value;
            return true;
        }
        return fail("unknown option " + option);
    }

    bool checkShape(bool formatGiven) {
        const CliOptions& o = result.options;
        const bool standard = o.settings.TransformationMode == kStandardStereo;
        if (o.inputs.empty()) {
            return fail("no input picture given");
        }
        if (!o.output.empty() && !o.outputDir.empty()) {
            return fail("give either -o OUTPUT or --output-dir DIR, not both");
        }
        if (o.output.empty() && o.outputDir.empty()) {
            return fail("no output given: use -o OUTPUT or --output-dir DIR");
        }
        if (formatGiven && o.outputDir.empty()) {
            return fail("--format goes with --output-dir; with -o the name's ending decides");
        }
        if (!o.output.empty()) {
            if (o.inputs.size() != (standard ? 2u : 1u)) {
                return fail(standard ? "standard mode takes two pictures: FIRST SECOND -o OUTPUT"
                                     : "one picture with -o; use --output-dir for several");
            }
            if (OutputFormatOfName(o.output) == OutputFormat::Unknown) {
                return fail("the output name must end in .jpg, .jpeg or .bmp: " + o.output);
            }
        }
        if (!o.outputDir.empty() && standard && o.inputs.size() % 2 != 0) {
            return fail("standard mode takes the pictures in pairs (first, second, ...)");
        }
        return true;
    }
};

const std::set<std::string> kFlagsWithValue = {
    "--mode",          "--layout",     "--kind",     "--effect", "--depth",   "--sharpen",
    "--sharpen-blend", "--brightness", "--contrast", "--noise",  "--quality", "-o",
    "--output",        "--output-dir", "--format"};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    Parser parser;
    bool formatGiven = false;
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            parser.result.options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parser.result.options.showHelp = true;
            parser.result.ok = true;
            return parser.result;
        }
        std::string option = arg;
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            option = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        if (kFlagsWithValue.count(option) == 0) {
            parser.fail("unknown option " + option);
            return parser.result;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                parser.fail(option + " needs a value");
                return parser.result;
            }
            value = args[++i];
        }
        formatGiven = formatGiven || option == "--format";
        if (!parser.apply(option, value)) {
            return parser.result;
        }
    }
    parser.result.ok = parser.checkShape(formatGiven);
    return parser.result;
}

std::string UsageText() {
    return R"(Usage: k3v-convert [options] FIRST [SECOND] -o OUTPUT
       k3v-convert [options] INPUT... --output-dir DIR [--format jpg|bmp]

Turns pictures into stereo images, exactly as the desktop program saves them.

  --mode k3v|standard          k3v (default): one picture, shifted by its own colours;
                               standard: FIRST and SECOND of equal size are the two views
  --layout anaglyph|vertical|horizontal   default anaglyph
  --kind panorama|photo        default panorama (photo: the anaglyph's invalid stripe is cut)
  --effect N                   stereo effect -10..10, default 3
  --depth N                    switch Depth on with depth value N (20, 25, ... 90)
  --sharpen LEVEL              switch Sharpen on, level 0..5
  --sharpen-blend B            0..3, default 3
  --brightness V               switch Brightness on, 1..255
  --contrast V                 switch Contrast on, 0..255
  --noise PASSES               switch Noise Median on, 1..5 passes
  --quality Q                  JPEG quality 50..100, default 100
  -o OUTPUT                    .jpg/.jpeg or .bmp (any case) chooses the format
  --output-dir DIR             one output per input (per pair in standard mode),
                               named <name>_Unwrapped.<ext>
  --format jpg|bmp             the batch's output format, default jpg
  --                           everything after this is a file name

Exit status: 0 success, 1 a file could not be read or written, 2 usage error.
)";
}

std::vector<ConversionJob> PlanJobs(const CliOptions& options, std::string& error) {
    std::vector<ConversionJob> jobs;
    const bool standard = options.settings.TransformationMode == kStandardStereo;
    const size_t step = standard ? 2 : 1;
    if (!options.output.empty()) {
        jobs.push_back({options.inputs[0], standard ? options.inputs[1] : "", options.output});
        return jobs;
    }
    std::map<std::string, std::string> claimed;  // output -> input that writes it
    for (size_t i = 0; i + step <= options.inputs.size(); i += step) {
        ConversionJob job{options.inputs[i], standard ? options.inputs[i + 1] : "", ""};
        job.output = (std::filesystem::path(options.outputDir) /
                      (UnwrappedName(job.first) + "." + options.format))
                         .string();
        if (const auto [at, fresh] = claimed.emplace(job.output, job.first); !fresh) {
            error = "\"" + at->second + "\" and \"" + job.first + "\" would both be saved as \"" +
                    job.output + "\"";
            return {};
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

}  // namespace k3v
