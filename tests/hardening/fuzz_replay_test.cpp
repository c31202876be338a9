// Replays stored inputs through a fuzz target's own checks: every input that ever made a
// target fail (kept in tests/hardening/fuzz_regressions/<target>/) and, for the decoder, the
// whole corpus. A target that finds a fault aborts, which fails the test named after the file.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

std::vector<std::string> StoredInputs() {
    std::vector<std::string> files;
    for (const char* folder : {K3V_REPLAY_DIRS}) {
        if (!std::filesystem::is_directory(folder)) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            // Not the corpus's manifest and reference pixels, nor notes.
            if (entry.is_regular_file() && !name.ends_with(".rgb") && !name.ends_with(".md") &&
                !name.ends_with(".tsv")) {
                files.push_back(entry.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {
  public:
    static void SetUpTestSuite() {
        if (LLVMFuzzerInitialize != nullptr) {
            static int argc = 1;
            static char name[] = "fuzz_replay";
            static char* args[] = {name, nullptr};
            static char** argv = args;
            LLVMFuzzerInitialize(&argc, &argv);
        }
    }
};

TEST_P(FuzzReplay, PassesTheTargetsChecks) {
    const std::vector<uint8_t> bytes = k3v::testing::ReadBytes(GetParam());
    // libFuzzer hands even an empty input over as a valid pointer.
    static const uint8_t kNothing = 0;
    const int result =
        LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    EXPECT_TRUE(result == 0 || result == -1);
}

INSTANTIATE_TEST_SUITE_P(Stored, FuzzReplay, ::testing::ValuesIn(StoredInputs()),
                         [](const auto& row) {
                             std::string id;
                             for (const char c :
                                  std::filesystem::path(row.param).filename().string()) {
                                 id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return id + "_" + std::to_string(row.index);
                         });

TEST(FuzzReplay, HasInputsToReplay) {
    EXPECT_FALSE(StoredInputs().empty());
}

}  // namespace
