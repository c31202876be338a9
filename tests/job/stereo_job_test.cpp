// The conversion job both programs run: loads, conversions and saves that report rising progress
// ending at 1, stop when cancelled at any report without changing anything, refuse a bad
// picture without changing anything, and make a save's views once.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "job/stereo_job.h"
#include "tests/support/plane_builders.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::EveryFilter;
using testing::Pixels;
using testing::TempFolder;

// A binary PPM of deterministic noise.
void WritePpm(const std::string& path, int width, int height, uint32_t seed) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    uint32_t state = seed * 2654435761u + 1;
    for (int i = 0; i < width * height * 3; ++i) {
        state = state * 1664525u + 1013904223u;
        out.put(char(state >> 24));
    }
}

// Blocks of 4 x 4 pixels of deterministic noise, from row `top` of a taller such picture: two
// of them with different tops are a pair that differs only by a vertical offset.
void WriteBlockPpm(const std::string& path, int width, int height, int top) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (int y = top; y < top + height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t state = uint32_t(y / 4) * 7919u + uint32_t(x / 4) * 104729u + 17u;
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                out.put(char(state >> 24));
            }
        }
    }
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every report of one step, and a cancel that comes with the `cancelAt`-th (1-based; 0: none).
struct Recorder {
    std::vector<std::string> stages;
    std::vector<double> fractions;
    std::atomic<bool> cancel{false};
    size_t cancelAt = 0;

    Progress progress() {
        return Progress(
            [this](const char* stage, double fraction) {
                stages.emplace_back(stage);
                fractions.push_back(fraction);
                if (fractions.size() == cancelAt) {
                    cancel = true;
                }
            },
            &cancel);
    }
};

class StereoJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WritePpm(folder_.file("first.ppm"), 48, 20, 1);
        WritePpm(folder_.file("second.ppm"), 48, 20, 2);
        WritePpm(folder_.file("map.ppm"), 48, 20, 3);
        WritePpm(folder_.file("small.ppm"), 30, 20, 4);
    }

    // A job with a picture, its pair and a depth map loaded.
    void LoadAll(StereoJob& job) {
        job.settings = EveryFilter();
        ASSERT_TRUE(job.loadFirst(file("first.ppm")).ok());
        ASSERT_TRUE(job.loadDepthMap(file("map.ppm")).ok());
        ASSERT_TRUE(job.loadSecond(file("second.ppm")).ok());
    }

    std::string file(const std::string& name) const { return folder_.file(name); }

    TempFolder folder_;
};

// What a job's loads may change, to see that a refused or cancelled one changed nothing.
struct Loaded {
    int32_t width;
    std::vector<uint32_t> first;
    std::vector<uint32_t> second;
    std::vector<uint8_t> map;

    explicit Loaded(const StereoJob& job)
        : width(job.planes().SourceWidth),
          first(Pixels(job.planes().DecodedImage1)),
          second(Pixels(job.planes().DecodedImage2)),
          map(job.planes().DepthMap) {}
    bool operator==(const Loaded&) const = default;
};

TEST_F(StereoJobTest, EveryStepReportsRisingProgressEndingAtOne) {
    StereoJob job;
    const auto rises = [](const Recorder& recorder, const char* step) {
        ASSERT_FALSE(recorder.fractions.empty()) << step;
        for (size_t i = 1; i < recorder.fractions.size(); ++i) {
            EXPECT_LE(recorder.fractions[i - 1], recorder.fractions[i]) << step;
        }
        EXPECT_EQ(recorder.fractions.back(), 1.0) << step;
    };
    Recorder load;
    ASSERT_TRUE(job.loadFirst(file("first.ppm"), load.progress()).ok());
    rises(load, "load");
    job.settings = EveryFilter();
    Recorder convert;
    ASSERT_TRUE(job.convert(convert.progress()).ok());
    rises(convert, "convert");
    for (const std::string name : {"a.jpg", "a.bmp", "a.mpo", "a.jps"}) {
        Recorder save;
        ASSERT_TRUE(job.save(OutputTarget(file(name), job.settings), save.progress()).ok());
        rises(save, name.c_str());
    }
}

TEST_F(StereoJobTest, RefusedPicturesLeaveTheJobAsItWas) {
    StereoJob job;
    LoadAll(job);
    const Loaded before(job);
    std::ofstream(file("text.ppm")) << "not a picture";
    const struct {
        const char* name;
        std::function<Status()> load;
    } refusals[] = {
        {"missing first", [&] { return job.loadFirst(file("gone.ppm")); }},
        {"damaged first", [&] { return job.loadFirst(file("text.ppm")); }},
        {"second of another size", [&] { return job.loadSecond(file("small.ppm")); }},
        {"map of another size", [&] { return job.loadDepthMap(file("small.ppm")); }},
    };
    for (const auto& refusal : refusals) {
        const Status status = refusal.load();
        EXPECT_FALSE(status.ok()) << refusal.name;
        EXPECT_FALSE(status.cancelled()) << refusal.name;
        EXPECT_TRUE(Loaded(job) == before) << refusal.name;
    }
    // The window shows a refused pair as it is; the batch tool names the file on one line.
    const std::string asItIs = job.loadSecond(file("small.ppm")).message();
    StereoJob batch(RefusalWording::NamingTheFile);
    ASSERT_TRUE(batch.loadFirst(file("first.ppm")).ok());
    const std::string named = batch.loadSecond(file("small.ppm")).message();
    EXPECT_NE(asItIs.find('\n'), std::string::npos);
    EXPECT_EQ(named, "Cannot load \"" + file("small.ppm") + "\": " + OnOneLine(asItIs));
}

// Cancelled at each report in turn, a step stops and leaves the job's pictures and every
// existing file as they were; whatever it left half made, the next save makes again.
TEST_F(StereoJobTest, CancelAtAnyReportChangesNothing) {
    StereoJob reference;
    LoadAll(reference);
    const OutputTarget pair(file("pair.mpo"), reference.settings);
    ASSERT_TRUE(reference.save(pair).ok());
    const std::vector<uint8_t> expected = ReadBytes(file("pair.mpo"));
    std::remove(file("pair.mpo").c_str());

    const std::vector<uint8_t> old(100, 0x5A);
    for (const char* name : {"pair.mpo", "both_left.bmp", "both_right.bmp"}) {
        std::ofstream(file(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(old.data()), std::streamsize(old.size()));
    }
    const std::vector<std::string> entries = folder_.entries();
    const struct {
        const char* name;
        std::function<Status(StereoJob&, const Progress&)> step;
    } steps[] = {
        {"load first",
         [&](StereoJob& job, const Progress& p) { return job.loadFirst(file("second.ppm"), p); }},
        {"load second",
         [&](StereoJob& job, const Progress& p) { return job.loadSecond(file("first.ppm"), p); }},
        {"load map", [&](StereoJob& job,
                         const Progress& p) { return job.loadDepthMap(file("second.ppm"), p); }},
        {"convert", [&](StereoJob& job, const Progress& p) { return job.convert(p); }},
        {"save mpo", [&](StereoJob& job, const Progress& p) { return job.save(pair, p); }},
        {"save separate",
         [&](StereoJob& job, const Progress& p) {
             ConversionSettings separate = job.settings;
             separate.StereoLayout = kSeparateFiles;
             return job.save(OutputTarget(file("both.bmp"), separate), p);
         }},
    };
    for (const auto& step : steps) {
        size_t reports = 0;
        {
            StereoJob job;
            LoadAll(job);
            Recorder count;
            ASSERT_TRUE(step.step(job, count.progress()).ok()) << step.name;
            reports = count.fractions.size();
            for (const char* name : {"pair.mpo", "both_left.bmp", "both_right.bmp"}) {
                std::ofstream(file(name), std::ios::binary)
                    .write(reinterpret_cast<const char*>(old.data()), std::streamsize(old.size()));
            }
        }
        ASSERT_GT(reports, 1u) << step.name;
        for (size_t at = 1; at < reports; ++at) {
            StereoJob job;
            LoadAll(job);
            const Loaded before(job);
            Recorder recorder;
            recorder.cancelAt = at;
            const Status status = step.step(job, recorder.progress());
            EXPECT_TRUE(status.cancelled()) << step.name << " at report " << at;
            EXPECT_TRUE(Loaded(job) == before) << step.name << " at report " << at;
            EXPECT_EQ(ReadBytes(file("pair.mpo")), old) << step.name << " at report " << at;
            EXPECT_EQ(ReadBytes(file("both_left.bmp")), old) << step.name;
            EXPECT_EQ(folder_.entries(), entries) << step.name << " at report " << at;
            ASSERT_TRUE(job.save(pair).ok()) << step.name;
            EXPECT_EQ(ReadBytes(file("pair.mpo")), expected) << step.name << " at report " << at;
            std::ofstream(file("pair.mpo"), std::ios::binary)
                .write(reinterpret_cast<const char*>(old.data()), std::streamsize(old.size()));
        }
    }
}

// Settings that only place the views (the kind, the pair's order and halving, which pair
// layout, an anaglyph method that no anaglyph uses) share the views: a save after a
// conversion for any of them makes no views again, and they are the views it would make.
TEST_F(StereoJobTest, ASaveMakesItsViewsOnce) {
    StereoJob job;
    LoadAll(job);
    job.settings.StereoLayout = kSideBySideVertical;
    ConversionSettings same = job.settings;
    same.StereoLayout = kSeparateFiles;
    same.SourceKind = kStillPhoto;
    same.HalfSize = true;
    same.PairOrder = EyeOrder::Parallel;
    same.AnaglyphMethod = AnaglyphKind::Dubois;
    same.Glasses = GlassesKind::AmberBlue;
    ASSERT_TRUE(job.convert().ok());
    const std::vector<uint32_t> first = Pixels(job.planes().FirstView);
    const std::vector<uint32_t> second = Pixels(job.planes().SecondView);
    for (const std::string name : {"s.mpo", "s.jps", "s.jpg", "s.bmp"}) {
        Recorder save;
        ASSERT_TRUE(job.save(OutputTarget(file(name), same), save.progress()).ok());
        for (const std::string& stage : save.stages) {
            EXPECT_TRUE(stage == "encode" || stage == "write") << name << ": " << stage;
        }
    }
    StereoJob fresh;
    LoadAll(fresh);
    fresh.settings = same;
    ASSERT_TRUE(fresh.convert().ok());
    EXPECT_EQ(Pixels(fresh.planes().FirstView), first);
    EXPECT_EQ(Pixels(fresh.planes().SecondView), second);

    // An anaglyph is one composed view: a stereo file needs the pair made for it.
    job.settings.StereoLayout = kAnaglyph;
    ASSERT_TRUE(job.convert().ok());
    Recorder save;
    ASSERT_TRUE(job.save(OutputTarget(file("a.mpo"), job.settings), save.progress()).ok());
    EXPECT_NE(save.stages.front(), "encode");
}

// A pair that cannot be aligned stays as it was, whether the job takes its pictures or copies
// them; an aligned pair whose second picture is loaded anew pairs with the first as loaded.
TEST_F(StereoJobTest, AlignmentKeepsThePairAsLoadedWhereItMust) {
    std::ofstream flat(file("flat.ppm"), std::ios::binary);
    flat << "P6\n64 48\n255\n" << std::string(64 * 48 * 3, char(90));
    flat.close();
    AlignmentRequest request;
    request.align = true;
    for (const LoadedPair loaded : {LoadedPair::Dropped, LoadedPair::Kept}) {
        StereoJob job;
        ASSERT_TRUE(job.loadFirst(file("flat.ppm")).ok());
        ASSERT_TRUE(job.loadSecond(file("flat.ppm")).ok());
        const Loaded before(job);
        const Result<AlignmentOutcome> failed = job.alignPair(request, {}, loaded);
        EXPECT_EQ(failed.message().rfind("cannot align: ", 0), 0u) << failed.message();
        EXPECT_TRUE(Loaded(job) == before);
        EXPECT_FALSE(job.pairIsAligned());
    }

    WriteBlockPpm(file("right.ppm"), 320, 240, 0);
    WriteBlockPpm(file("left.ppm"), 320, 240, 6);
    StereoJob job;
    ASSERT_TRUE(job.loadFirst(file("right.ppm")).ok());
    const std::vector<uint32_t> right = Pixels(job.planes().DecodedImage1);
    ASSERT_TRUE(job.loadSecond(file("left.ppm")).ok());
    const Result<AlignmentOutcome> aligned = job.alignPair(request, {}, LoadedPair::Kept);
    ASSERT_TRUE(aligned.ok()) << aligned.message();
    EXPECT_TRUE(job.pairIsAligned());
    EXPECT_LT(job.planes().SourceHeight, 240);
    EXPECT_EQ(job.planes().SourceHeight, aligned.value().height);
    ASSERT_TRUE(job.loadSecond(file("left.ppm")).ok());
    EXPECT_FALSE(job.pairIsAligned());
    EXPECT_EQ(job.planes().SourceHeight, 240);
    EXPECT_EQ(Pixels(job.planes().DecodedImage1), right);
}

}  // namespace
}  // namespace k3v
