#pragma once
// The corpus made by tools/make_corpus.py: its manifest and the reference pixels of each
// valid picture.

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace k3v::testing {

struct CorpusFile {
    std::string name;
    std::string expect;  // "ok", "refuse" or "either"
    int32_t width = 0;
    int32_t height = 0;
    int tolerance = 0;
    std::string reason;  // part of the refusal's message; "-" for any

    std::string path() const { return std::string(K3V_CORPUS_DIR) + "/" + name; }
    bool mustLoad() const { return expect == "ok"; }
    bool mustBeRefused() const { return expect == "refuse"; }
};

// Test failures name the file instead of dumping the structure's bytes.
inline void PrintTo(const CorpusFile& f, std::ostream* out) {
    *out << f.name;
}

inline std::vector<CorpusFile> LoadCorpus() {
    std::vector<CorpusFile> files;
    std::ifstream manifest(std::string(K3V_CORPUS_DIR) + "/manifest.tsv");
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream fields(line);
        CorpusFile f;
        std::string width, height, tolerance;
        std::getline(fields, f.name, '\t');
        std::getline(fields, f.expect, '\t');
        std::getline(fields, width, '\t');
        std::getline(fields, height, '\t');
        std::getline(fields, tolerance, '\t');
        std::getline(fields, f.reason, '\t');
        f.width = std::stoi(width);
        f.height = std::stoi(height);
        f.tolerance = std::stoi(tolerance);
        files.push_back(f);
    }
    return files;
}

inline std::vector<CorpusFile> CorpusWhere(bool (CorpusFile::*which)() const) {
    std::vector<CorpusFile> chosen;
    for (const CorpusFile& f : LoadCorpus()) {
        if ((f.*which)()) {
            chosen.push_back(f);
        }
    }
    return chosen;
}

// A test name from a file name: letters and digits kept, everything else '_'.
inline std::string TestNameOf(const std::string& name) {
    std::string id;
    for (const char c : name) {
        id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return id;
}

// The reference pixels: 8-bit R, G, B, top row first.
inline std::vector<uint8_t> ReferencePixels(const CorpusFile& f) {
    std::ifstream in(f.path() + ".rgb", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace k3v::testing
