#include "cli/cli_options.h"

#include <charconv>
#include <filesystem>
#include <map>
#include <set>

#include "output/output_format.h"
#include "output/output_naming.h"
#include "stereo/depth_list.h"

namespace k3v {

namespace {

using Kind = OptionValue::Kind;

constexpr OptionChoice kModes[] = {{"k3v", kK3vStereo}, {"standard", kStandardStereo}};
constexpr OptionChoice kLayouts[] = {{"anaglyph", kAnaglyph},
                                     {"vertical", kSideBySideVertical},
                                     {"horizontal", kSideBySideHorizontal},
                                     {"separate", kSeparateFiles}};
constexpr OptionChoice kMethods[] = {{"colour", int32_t(AnaglyphKind::Colour)},
                                     {"half-colour", int32_t(AnaglyphKind::HalfColour)},
                                     {"grey", int32_t(AnaglyphKind::Grey)},
                                     {"dubois", int32_t(AnaglyphKind::Dubois)}};
constexpr OptionChoice kGlasses[] = {{"red-cyan", int32_t(GlassesKind::RedCyan)},
                                     {"green-magenta", int32_t(GlassesKind::GreenMagenta)},
                                     {"amber-blue", int32_t(GlassesKind::AmberBlue)}};
constexpr OptionChoice kOrders[] = {{"cross", int32_t(EyeOrder::Cross)},
                                    {"parallel", int32_t(EyeOrder::Parallel)}};
constexpr OptionChoice kKinds[] = {{"panorama", kPanorama}, {"photo", kStillPhoto}};
constexpr OptionChoice kFormats[] = {{"jpg", 0}, {"bmp", 0}, {"tif", 0}, {"mpo", 0}, {"jps", 0}};
constexpr OptionChoice kTiffCompressions[] = {{"none", int32_t(TiffCompression::None)},
                                              {"lzw", int32_t(TiffCompression::Lzw)},
                                              {"deflate", int32_t(TiffCompression::Deflate)}};
constexpr OptionChoice kWindowNames[] = {{"auto", 0}};
constexpr SettingRange kQualityRange{50, 100};
constexpr SettingRange kJobsRange{1, 256};

constexpr OptionValue Number(SettingRange range) {
    return {Kind::Number, range};
}
// A number from a list rather than a range, refused with one wording.
constexpr OptionValue ListedNumber(bool (*accepts)(int32_t), std::string_view refusal) {
    return {Kind::Number, {0, 0}, accepts, {}, refusal};
}
// Pixels behind the screen plane: "auto" (0) or any whole number from 0 up.
bool IsWindowDepth(int32_t pixels) {
    return pixels >= 0;
}
constexpr OptionValue kWindowDepth{Kind::Number,
                                   {0, 0},
                                   IsWindowDepth,
                                   kWindowNames,
                                   "takes auto or a whole number of pixels, 0 or more"};
constexpr OptionValue Choice(std::span<const OptionChoice> choices, std::string_view refusal = {}) {
    return {Kind::Choice, {0, 0}, nullptr, choices, refusal};
}
constexpr OptionValue kText{Kind::Text};
constexpr OptionValue kFlag{Kind::None};
// A flag that answers on its own (--help): the rest of the command line is not looked at.
constexpr OptionValue kAnsweringFlag{Kind::None, {0, 0}, nullptr, {}, {}, true};

// The setters most rows share: a setting takes the value, or a filter is switched on with it.
template <int32_t ConversionSettings::*Setting>
void Set(CliOptions& o, int32_t value, const std::string&) {
    o.settings.*Setting = value;
}
template <int32_t ConversionSettings::*On, int32_t ConversionSettings::*Setting>
void SwitchOn(CliOptions& o, int32_t value, const std::string&) {
    o.settings.*On = 1;
    o.settings.*Setting = value;
}
using S = ConversionSettings;

const OptionRow kOptions[] = {
    {"--mode", "", "",
     "k3v (default): one picture, shifted by its own colours;\n"
     "standard: RIGHT_EYE and LEFT_EYE, of equal size, are\nthe two views",
     Choice(kModes), Set<&S::TransformationMode>},
    {"--layout", "", "", "default anaglyph; separate: two files, NAME_left.EXT\nand NAME_right.EXT",
     Choice(kLayouts), Set<&S::StereoLayout>},
    {"--anaglyph", "", "", "the anaglyph's method, default colour", Choice(kMethods),
     [](CliOptions& o, int32_t v, const std::string&) {
         o.settings.AnaglyphMethod = AnaglyphKind(v);
     }},
    {"--glasses", "", "", "the anaglyph's glasses, default red-cyan", Choice(kGlasses),
     [](CliOptions& o, int32_t v, const std::string&) { o.settings.Glasses = GlassesKind(v); }},
    {"--swap-eyes", "", "",
     "exchange the two views in every output, as for a pair\nloaded in the wrong order", kFlag,
     [](CliOptions& o, int32_t, const std::string&) { o.settings.SwapEyes = true; }},
    {"--half", "", "",
     "side-by-side layouts and .jps: each view halved along\nthe layout's axis (3D TV)", kFlag,
     [](CliOptions& o, int32_t, const std::string&) { o.settings.HalfSize = true; }},
    {"--order", "", "",
     "the horizontal layout's order: cross (right eye on\nthe left) or parallel (left eye on "
     "the left); default\ncross, with --half parallel",
     Choice(kOrders),
     [](CliOptions& o, int32_t v, const std::string&) { o.settings.PairOrder = EyeOrder(v); }},
    {"--depth-map", "", "MAP",
     "the depth map of the picture (with --depth N, the scale):\nits brightness, not the colours, "
     "gives the shift",
     kText, [](CliOptions& o, int32_t, const std::string& text) { o.depthMap = text; }},
    {"--depth-map-dir", "", "DIR",
     "with --output-dir: each input's depth map,\n<name>_depth.<ext> in DIR", kText,
     [](CliOptions& o, int32_t, const std::string& text) { o.depthMapDir = text; }},
    {"--invert-depth-map", "", "", "dark is near in the depth map (uses 255 - brightness)", kFlag,
     [](CliOptions& o, int32_t, const std::string&) { o.settings.InvertDepthMap = true; }},
    {"--wrap", "", "",
     "a 360-degree panorama: each row closes into a loop,\nno seam where its ends meet", kFlag,
     [](CliOptions& o, int32_t, const std::string&) { o.settings.WrapAround = true; }},
    {"--align", "", "",
     "standard mode: line up the pair first (the left eye's\npicture turned, scaled and moved "
     "onto the right\neye's), both cropped to what both fill",
     kFlag, [](CliOptions& o, int32_t, const std::string&) { o.alignment.align = true; }},
    {"--stereo-window", "", "auto|N",
     "standard mode: shift the views so that the nearest\npoint lies at the screen (auto) or N "
     "pixels behind it",
     kWindowDepth,
     [](CliOptions& o, int32_t v, const std::string&) {
         o.alignment.stereoWindow = true;
         o.alignment.windowBehind = v;
     }},
    {"--kind", "", "", "default panorama (photo: the anaglyph's invalid stripe is cut)",
     Choice(kKinds), Set<&S::SourceKind>},
    {"--effect", "", "N", "stereo effect {range}, default 3", Number(kStereoEffectRange),
     [](CliOptions& o, int32_t v, const std::string&) { o.settings.StereoEffect = int16_t(v); }},
    {"--depth", "", "N", "switch Depth on with depth value N (20, 25, ... 90)",
     ListedNumber(IsDepthListValue, "takes one of 20, 25, 30, ... 90"),
     SwitchOn<&S::DepthOn, &S::DepthValue>},
    {"--sharpen", "", "LEVEL", "switch Sharpen on, level {range}", Number(kSharpenLevelRange),
     SwitchOn<&S::SharpenOn, &S::SharpenLevel>},
    {"--sharpen-blend", "", "B", "{range}, default 3", Number(kSharpenBlendRange),
     Set<&S::SharpenBlend>},
    {"--brightness", "", "V", "switch Brightness on, {range}", Number(kBrightnessRange),
     SwitchOn<&S::BrightnessOn, &S::Brightness>},
    {"--contrast", "", "V", "switch Contrast on, {range}", Number(kContrastRange),
     SwitchOn<&S::ContrastOn, &S::Contrast>},
    {"--noise", "", "PASSES", "switch Noise Median on, {range} passes", Number(kNoisePassesRange),
     SwitchOn<&S::NoiseOn, &S::NoisePasses>},
    {"--quality", "", "Q", "JPEG quality {range}, default 100", Number(kQualityRange),
     [](CliOptions& o, int32_t v, const std::string&) { o.jpegQuality = v; }},
    {"--tiff-compression", "", "", "TIFF outputs' lossless compression, default deflate",
     Choice(kTiffCompressions),
     [](CliOptions& o, int32_t v, const std::string&) { o.tiffCompression = TiffCompression(v); }},
    {"--keep-metadata", "", "",
     "JPEG, MPO and JPS files keep the first picture's Exif\n(orientation 1, no thumbnail) and "
     "colour profile;\nTIFF files keep its colour profile",
     kFlag, [](CliOptions& o, int32_t, const std::string&) { o.keepMetadata = true; }},
    {"-o", "--output", "OUTPUT",
     ".jpg/.jpeg, .bmp or .tif/.tiff (any case) chooses the\nformat; .mpo and .jps are stereo "
     "files of both views",
     kText, [](CliOptions& o, int32_t, const std::string& text) { o.output = text; }},
    {"--output-dir", "", "DIR",
     "one output per input (per pair in standard mode),\nnamed <name>_Unwrapped.<ext>", kText,
     [](CliOptions& o, int32_t, const std::string& text) { o.outputDir = text; }},
    {"--format", "", "", "the batch's output format, default jpg",
     Choice(kFormats, "takes jpg, bmp, tif, mpo or jps"),
     [](CliOptions& o, int32_t, const std::string& text) { o.format = text; }},
    // Batch at scale: a scheduler's view of the batch, and resuming one.
    {"--jobs", "", "N",
     "files converted at once, {range}; default: as many as\nthe cores and the memory allow",
     Number(kJobsRange), [](CliOptions& o, int32_t v, const std::string&) { o.jobs = v; }},
    {"--report", "", "FILE", "append one JSON line per input to FILE as it finishes", kText,
     [](CliOptions& o, int32_t, const std::string& text) { o.report = text; }},
    {"--skip-existing", "", "",
     "skip an input whose output files all exist (resumes\nan interrupted batch)", kFlag,
     [](CliOptions& o, int32_t, const std::string&) { o.skipExisting = true; }},
    {"--help", "-h", "", "print this text and exit", kAnsweringFlag,
     [](CliOptions& o, int32_t, const std::string&) { o.showHelp = true; }},
    {"--version", "", "", "print the version and exit", kAnsweringFlag,
     [](CliOptions& o, int32_t, const std::string&) { o.showVersion = true; }},
};

const OptionRow* FindOption(std::string_view name) {
    for (const OptionRow& row : kOptions) {
        if (row.name == name || (!row.alias.empty() && row.alias == name)) {
            return &row;
        }
    }
    return nullptr;
}

bool ParseInt(const std::string& text, int32_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

std::string RangeText(SettingRange range) {
    return std::to_string(range.min) + ".." + std::to_string(range.max);
}

// The choices' names in alphabetical order, as the refusal lists them.
std::string SortedNames(std::span<const OptionChoice> choices) {
    std::set<std::string_view> sorted;
    for (const OptionChoice& choice : choices) {
        sorted.insert(choice.name);
    }
    std::string names;
    for (const std::string_view name : sorted) {
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    return names;
}

// The number (or choice) the value gives, or the usage error that refuses it.
Result<int32_t> CheckValue(const OptionRow& row, const std::string& option,
                           const std::string& text) {
    const OptionValue& rule = row.value;
    const auto refused = [&](const std::string& usual) {
        const std::string wording = rule.refusal.empty() ? usual : std::string(rule.refusal);
        return Status::Error(option + " " + wording + ", not \"" + text + "\"");
    };
    if (rule.kind == Kind::Choice) {
        for (const OptionChoice& choice : rule.choices) {
            if (choice.name == text) {
                return choice.value;
            }
        }
        return refused("takes one of " + SortedNames(rule.choices));
    }
    if (rule.kind != Kind::Number) {
        return 0;
    }
    for (const OptionChoice& name : rule.choices) {
        if (name.name == text) {
            return name.value;
        }
    }
    int32_t number = 0;
    if (!ParseInt(text, number)) {
        return refused("takes a whole number");
    }
    if (rule.accepts != nullptr ? !rule.accepts(number)
                                : number < rule.range.min || number > rule.range.max) {
        if (!rule.refusal.empty()) {
            return refused({});
        }
        return Status::Error(option + " must lie between " + std::to_string(rule.range.min) +
                             " and " + std::to_string(rule.range.max) + ", not " + text);
    }
    return number;
}

// A depth map replaces the colours of K3V mode's displacement, whose scale --depth gives.
Status CheckDepthMap(const CliOptions& o) {
    const bool mapped = !o.depthMap.empty() || !o.depthMapDir.empty();
    if (!mapped) {
        return o.settings.InvertDepthMap
                   ? Status::Error("--invert-depth-map goes with --depth-map or --depth-map-dir")
                   : Status::Ok();
    }
    if (o.settings.TransformationMode == kStandardStereo) {
        return Status::Error("a depth map works in k3v mode, not with --mode standard");
    }
    if (o.settings.DepthOn == 0) {
        return Status::Error("a depth map needs --depth N, the depth scale");
    }
    if (!o.depthMap.empty() && !o.outputDir.empty()) {
        return Status::Error("--depth-map goes with -o; with --output-dir use --depth-map-dir");
    }
    if (!o.depthMapDir.empty() && o.outputDir.empty()) {
        return Status::Error("--depth-map-dir goes with --output-dir; with -o use --depth-map");
    }
    return Status::Ok();
}

// The combinations of inputs and outputs that make sense together.
Status CheckShape(const CliOptions& o, bool formatGiven, bool tiffCompressionGiven) {
    const bool standard = o.settings.TransformationMode == kStandardStereo;
    if (o.inputs.empty()) {
        return Status::Error("no input picture given");
    }
    if (!o.output.empty() && !o.outputDir.empty()) {
        return Status::Error("give either -o OUTPUT or --output-dir DIR, not both");
    }
    if (o.output.empty() && o.outputDir.empty()) {
        return Status::Error("no output given: use -o OUTPUT or --output-dir DIR");
    }
    if (formatGiven && o.outputDir.empty()) {
        return Status::Error("--format goes with --output-dir; with -o the name's ending decides");
    }
    if (!o.output.empty()) {
        if (o.inputs.size() != (standard ? 2u : 1u)) {
            return Status::Error(standard ? "standard mode takes two pictures: RIGHT_EYE LEFT_EYE "
                                            "-o OUTPUT"
                                          : "one picture with -o; use --output-dir for several");
        }
        if (OutputFormatOfName(o.output) == OutputFormat::Unknown) {
            return Status::Error(
                "the output name must end in .jpg, .jpeg, .bmp, .tif, .tiff, .mpo or .jps: " +
                o.output);
        }
    }
    const bool tiff =
        o.output.empty() ? o.format == "tif" : OutputFormatOfName(o.output) == OutputFormat::Tiff;
    if (tiffCompressionGiven && !tiff) {
        return Status::Error(
            "--tiff-compression goes with a TIFF output: -o NAME.tif or --format tif");
    }
    if (!o.outputDir.empty() && standard && o.inputs.size() % 2 != 0) {
        return Status::Error(
            "standard mode takes the pictures in pairs (right eye, left eye, ...)");
    }
    if (!standard && o.alignment.any()) {
        return Status::Error(std::string(o.alignment.align ? "--align" : "--stereo-window") +
                             " works with --mode standard, not in k3v mode");
    }
    return CheckDepthMap(o);
}

// "  --effect N" and its help in the help column; a name too long for the column to leave two
// blanks before it keeps three blanks before its help.
std::string UsageLine(const std::string& left, std::string_view help) {
    constexpr size_t kHelpColumn = 31;
    std::string line = left;
    line += left.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - left.size(), ' ') : "   ";
    for (const char c : help) {
        line += c;
        if (c == '\n') {
            line += std::string(kHelpColumn, ' ');
        }
    }
    return line + "\n";
}

std::string UsageRow(const OptionRow& row) {
    std::string left = "  " + std::string(row.name);
    if (row.value.kind == Kind::Choice) {
        for (size_t i = 0; i < row.value.choices.size(); ++i) {
            left += (i == 0 ? " " : "|") + std::string(row.value.choices[i].name);
        }
    } else if (row.value.kind != Kind::None) {
        left += " " + std::string(row.placeholder);
    }
    std::string help(row.help);
    if (const size_t at = help.find("{range}"); at != std::string::npos) {
        help.replace(at, 7, RangeText(row.value.range));
    }
    return UsageLine(left, help);
}

}  // namespace

std::span<const OptionRow> OptionTable() {
    return kOptions;
}

Result<CliOptions> ParseCommandLine(const std::vector<std::string>& args) {
    CliOptions options;
    bool formatGiven = false;
    bool orderGiven = false;
    bool tiffCompressionGiven = false;
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string option = arg;
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            option = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        const OptionRow* row = FindOption(option);
        if (row == nullptr) {
            return Status::Error("unknown option " + option);
        }
        if (row->value.kind == Kind::None) {
            if (hasValue) {
                return Status::Error(option + " takes no value");
            }
        } else if (!hasValue) {
            if (i + 1 >= args.size()) {
                return Status::Error(option + " needs a value");
            }
            value = args[++i];
        }
        if (row->value.kind == Kind::Text && value.empty()) {
            return Status::Error(option + " needs a file name");
        }
        const Result<int32_t> checked = CheckValue(*row, option, value);
        if (!checked) {
            return checked.status();
        }
        row->apply(options, checked.value(), value);
        if (row->value.endsParsing) {
            return options;
        }
        formatGiven = formatGiven || row->name == "--format";
        orderGiven = orderGiven || row->name == "--order";
        tiffCompressionGiven = tiffCompressionGiven || row->name == "--tiff-compression";
    }
    // A half-size pair is made for a 3D TV, whose side-by-side mode wants the parallel order.
    if (!orderGiven && options.settings.HalfSize) {
        options.settings.PairOrder = EyeOrder::Parallel;
    }
    if (Status shape = CheckShape(options, formatGiven, tiffCompressionGiven); !shape) {
        return shape;
    }
    return options;
}

std::string UsageText() {
    std::string text =
        "Usage: k3v-convert [options] PICTURE -o OUTPUT\n"
        "       k3v-convert [options] --mode standard RIGHT_EYE LEFT_EYE -o OUTPUT\n"
        "       k3v-convert [options] INPUT... --output-dir DIR [--format jpg|bmp|tif|mpo|jps]\n"
        "\n"
        "Turns pictures into stereo images, exactly as the desktop program saves them.\n"
        "A stereo pair is given the right eye's view first, then the left eye's.\n"
        "\n";
    for (const OptionRow& row : kOptions) {
        text += UsageRow(row);
    }
    text += UsageLine("  --", "everything after this is a file name");
    text += "\nExit status: 0 success, 1 a file could not be read or written, 2 usage error.\n";
    return text;
}

std::string VersionText() {
    return "k3v-convert " K3V_VERSION "\n";
}

Result<std::vector<ConversionJob>> PlanJobs(const CliOptions& options) {
    std::vector<ConversionJob> jobs;
    const bool standard = options.settings.TransformationMode == kStandardStereo;
    const size_t step = standard ? 2 : 1;
    if (!options.output.empty()) {
        jobs.push_back({options.inputs[0], standard ? options.inputs[1] : "", options.output,
                        options.depthMap, ""});
        return jobs;
    }
    std::map<std::string, std::string> claimed;  // output -> input that writes it
    for (size_t i = 0; i + step <= options.inputs.size(); i += step) {
        ConversionJob job{options.inputs[i], standard ? options.inputs[i + 1] : "", "", "",
                          options.depthMapDir};
        job.output = (std::filesystem::path(options.outputDir) /
                      (UnwrappedName(job.first) + "." + options.format))
                         .string();
        if (const auto [at, fresh] = claimed.emplace(job.output, job.first); !fresh) {
            return Status::Error("\"" + at->second + "\" and \"" + job.first +
                                 "\" would both be saved as \"" + job.output + "\"");
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

}  // namespace k3v
