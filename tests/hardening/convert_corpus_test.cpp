// Every corpus file through k3v-convert as a process: a valid picture gives exit status 0 and
// a BMP of its size; a damaged one gives exit status 1, exactly one line on the standard
// error stream (ours: no library chatter) naming the file, and no output file, temporary or
// not.

#include <gtest/gtest.h>

#include "tests/hardening/corpus.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using testing::CorpusFile;
using testing::RunProcess;
using testing::TempFolder;

std::string NameOf(const ::testing::TestParamInfo<CorpusFile>& info) {
    return testing::TestNameOf(info.param.name);
}

size_t LineCount(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

class ConvertCorpus : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(ConvertCorpus, SucceedsOnlyForGoodPicturesAndSaysWhyOtherwise) {
    const CorpusFile& f = GetParam();
    TempFolder folder;
    const std::string output = folder.file("out.bmp");
    const auto run =
        RunProcess(K3V_CONVERT, {"-o", output, "--", f.path()}, folder.path().string());
    if (f.expect == "either" && run.exitCode == 0) {
        EXPECT_EQ(run.err, "");
        return;
    }
    if (f.mustLoad()) {
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "") << "a good picture must convert silently";
        EXPECT_EQ(run.out, "Saved \"" + output + "\"\n");
        // The default layout is a panorama's anaglyph: the picture's own size.
        const std::vector<uint8_t> bmp = testing::ReadBytes(output);
        EXPECT_EQ(bmp.size(), 54 + 4 * size_t(f.width) * size_t(f.height));
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.bmp"});
        return;
    }
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(LineCount(run.err), 1u) << "one line of our own, no library chatter:\n" << run.err;
    EXPECT_EQ(run.err.rfind("k3v-convert: Cannot load \"" + f.path() + "\": ", 0), 0u) << run.err;
    if (f.reason != "-") {
        EXPECT_NE(run.err.find(f.reason), std::string::npos) << run.err;
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{}) << "nothing may be left behind";
}

INSTANTIATE_TEST_SUITE_P(Corpus, ConvertCorpus, ::testing::ValuesIn(testing::LoadCorpus()), NameOf);

// A batch of every corpus file at once: the good ones are saved, each bad one is reported on
// its own line, the batch exits 1, and several jobs decoding at once do not swallow each
// other's reports while the libraries' messages are caught.
TEST(ConvertCorpusBatch, ReportsEachFailureOnceAndSavesTheRest) {
    TempFolder folder;
    std::vector<std::string> args = {"--format", "bmp", "--output-dir", folder.path().string()};
    size_t good = 0;
    size_t bad = 0;
    for (const CorpusFile& f : testing::LoadCorpus()) {
        if (f.name.rfind("wide_", 0) == 0 || f.expect == "either") {
            continue;  // large, and covered one by one above
        }
        // Several corpus names share a stem with another extension; their outputs would
        // collide, so the batch takes each stem once.
        const std::string stem = f.name.substr(0, f.name.rfind('.'));
        if (std::find_if(args.begin(), args.end(), [&](const std::string& a) {
                return a.find("/" + stem + ".") != std::string::npos;
            }) != args.end()) {
            continue;
        }
        args.push_back(f.path());
        (f.mustLoad() ? good : bad) += 1;
    }
    const auto run = RunProcess(K3V_CONVERT, args, folder.path().string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(LineCount(run.out), good) << run.out;
    EXPECT_EQ(LineCount(run.err), bad) << run.err;
    size_t reports = 0;
    for (size_t at = 0; (at = run.err.find("k3v-convert: Cannot load \"", at)) != std::string::npos;
         ++at) {
        ++reports;
    }
    EXPECT_EQ(reports, bad) << run.err;
    EXPECT_EQ(folder.entries().size(), good);
}

}  // namespace
}  // namespace k3v
