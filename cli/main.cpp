#include "cli/commands.h"
#include "cli/help_format.h"
#include "platform/arguments.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/output_stop.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#ifndef HALVEX_VERSION
#define HALVEX_VERSION "0.0.0"
#endif

namespace {

constexpr int usageStatus = 2;

// The usage lines the README and the manual show.
void setCommandUsages(CLI::App& app) {
    const std::pair<const char*, std::vector<std::string>> usages[] = {
        {"decode", {"halvex-cli decode [OPTIONS] INPUT OUTPUT.ppm"}},
        {"convert",
         {"halvex-cli convert [OPTIONS] INPUT OUTPUT [--preview FILE]",
          "halvex-cli convert [OPTIONS] INPUT... --output-dir DIR [--extension rgn|mbr] [-j N]"}},
        {"preview", {"halvex-cli preview INPUT.rgn OUTPUT.bmp|OUTPUT.png"}},
        {"info", {"halvex-cli info FILE.rgn"}},
        {"compare", {"halvex-cli compare [OPTIONS] INPUT [--sheet SHEET.png] [--json]"}},
    };
    for (const auto& [name, lines] : usages)
        setHelpUsage(*app.get_subcommand(name), lines);
}

int runCommandLine(int argc, char** argv) {
    CLI::App app{"Convert pictures into RGN/MBR files of RGB565 pixels", "halvex-cli"};
    // Paths such as /images/x.bmp are operands on every platform, never Windows-style options.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "halvex-cli " HALVEX_VERSION);
    app.require_subcommand(1);
    CommandRunner runner;
    addDecodeCommand(app, runner);
    addConvertCommand(app, runner);
    addPreviewCommand(app, runner);
    addInfoCommand(app, runner);
    addCompareCommand(app, runner);
    configureHelp(app);
    setCommandUsages(app);
    const std::string unknown = unknownCommandMessage(app, argc, argv);
    if (!unknown.empty()) {
        printText(stderr, "halvex-cli: %s\nRun 'halvex-cli --help' for the commands.\n",
                  unknown.c_str());
        return usageStatus;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return usageStatus;
    }
    return runner ? runner() : usageStatus;
}

// Whatever the command printed must have reached standard output: a closed
// pipe or a full disk there is a failure like any other. A command that
// failed has said why already.
int checkStandardOutput(int status) {
    if (status != 0)
        return status;
    errno = 0;
    const bool lost = fflush(stdout) != 0 || ferror(stdout) != 0;
    if (!lost)
        return status;
    const int code = errno != 0 ? errno : EIO;
    printText(stderr, "Error writing standard output: %s\n", strerror(code));
    return 1;
}

// A run that failed because it was stopped says so by its status.
int interruptionStatus(int status) {
    return status != 0 && outputStopRequested() ? interruptedStatus : status;
}

// The command line in UTF-8, as CLI11 takes it.
int runUtf8CommandLine(int argc, char** argv) {
    std::vector<std::string> arguments = commandLineArguments(argc, argv);
    std::vector<char*> pointers(arguments.size() + 1, nullptr);
    std::transform(arguments.begin(), arguments.end(), pointers.begin(),
                   [](std::string& argument) { return argument.data(); });
    return runCommandLine(static_cast<int>(arguments.size()), pointers.data());
}

} // namespace

int main(int argc, char** argv) {
    try {
        installInterruptHandlers();
        return interruptionStatus(checkStandardOutput(runUtf8CommandLine(argc, argv)));
    } catch (const std::exception& e) {
        // Only the standard library's own failures (memory for a file list,
        // a thread that cannot start) can end up here.
        printText(stderr, "halvex-cli: %s\n", e.what());
        return 1;
    } catch (...) {
        printText(stderr, "halvex-cli: internal failure\n");
        return 1;
    }
}
