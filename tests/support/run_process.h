#pragma once
// Runs a program through the shell with its arguments quoted, capturing its output.

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace k3v::testing {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// `prefix` is shell text put before the command (for example "ulimit -f 8;").
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& scratchFolder, const std::string& prefix = "") {
    std::string command = prefix + " " + ShellQuote(program);
    for (const std::string& arg : args) {
        command += " " + ShellQuote(arg);
    }
    const std::string outPath = scratchFolder + "/.stdout";
    const std::string errPath = scratchFolder + "/.stderr";
    command += " >" + ShellQuote(outPath) + " 2>" + ShellQuote(errPath) + " </dev/null";
    const int status = std::system(("sh -c " + ShellQuote(command)).c_str());
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = Slurp(outPath);
    result.err = Slurp(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return result;
}

}  // namespace k3v::testing
