// k3v-convert: the batch tool. Converts pictures with the desktop program's engine and writes
// exactly the file its "Publish 3D Pano" would write for the same settings.

#include <unistd.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "base/raised_privileges.h"
#include "cli/batch_runner.h"
#include "cli/cli_options.h"

int main(int argc, char** argv) {
    // A file-size limit must turn into a reported write error, not a killed process.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const k3v::Result<k3v::CliOptions> parsed = k3v::ParseCommandLine(args);
    if (!parsed) {
        std::cerr << "k3v-convert: " << parsed.message() << "\n"
                  << "Try 'k3v-convert --help' for more information.\n";
        return 2;
    }
    const k3v::CliOptions& options = parsed.value();
    if (options.showHelp) {
        std::cout << k3v::UsageText();
        return 0;
    }
    if (options.showVersion) {
        std::cout << k3v::VersionText();
        return 0;
    }
    if (k3v::RunsWithRaisedPrivileges()) {
        std::cerr << "k3v-convert: " << k3v::kRaisedPrivilegesMessage << "\n";
        return 1;
    }
    // Qt's image plugins (TIFF and others) are found through the application object. It is
    // made only now: --help and --version answer even where Qt would refuse to run (setuid).
    QCoreApplication application(argc, argv);
    // Our own messages name the file and the reason; the readers' console chatter is noise.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    const k3v::Result<std::vector<k3v::ConversionJob>> jobs = k3v::PlanJobs(options);
    if (!jobs) {
        std::cerr << "k3v-convert: " << jobs.message() << "\n";
        return 2;
    }
    // Appended, so that a resumed batch adds to the report of the interrupted one.
    std::ofstream report;
    if (!options.report.empty()) {
        report.open(options.report, std::ios::app);
        if (!report) {
            std::cerr << "k3v-convert: "
                      << k3v::CannotWrite(options.report, std::strerror(errno)).message() << "\n";
            return 1;
        }
    }
    const bool terminal = isatty(STDERR_FILENO) != 0 && jobs.value().size() > 1;
    return k3v::RunJobs(jobs.value(), options, std::cout, std::cerr,
                        terminal ? &std::cerr : nullptr, report.is_open() ? &report : nullptr);
}
