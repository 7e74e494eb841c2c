#include "cli/commands.h"

#ifndef HALVEX_VERSION
#define HALVEX_VERSION "0.0.0"
#endif

namespace {

constexpr int usageStatus = 2;

int runCommandLine(int argc, char** argv) {
    CLI::App app{"Convert BMP and TGA images into RGN/MBR files of RGB565 pixels", "halvex-cli"};
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

} // namespace

int main(int argc, char** argv) {
    try {
        return runCommandLine(argc, argv);
    } catch (const std::exception& e) {
        // Only the standard library's own failures (memory for a file list,
        // a thread that cannot start) can end up here.
        fprintf(stderr, "halvex-cli: %s\n", e.what());
        return 1;
    } catch (...) {
        fprintf(stderr, "halvex-cli: internal failure\n");
        return 1;
    }
}
