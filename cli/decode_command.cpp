#include "cli/commands.h"
#include "platform/console.h"

#include "platform/output_file.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct DecodeOptions {
    std::string input;
    std::string output;
    ReadingChoices reading;
};

// Binary PPM (P6, maxval 255), rows from row 0.
int writePpm(const std::string& path, const RgbImage& image) {
    OutputFile file;
    if (succeeded(openOutputFile(&file, path.c_str()))) {
        char header[40];
        const int length =
            snprintf(header, sizeof header, "P6\n%d %d\n255\n", image.width, image.height);
        writeOutputBytes(&file, header, static_cast<size_t>(length));
        writeOutputBytes(&file, image.pixels,
                         static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
    }
    const Status written = commitOutputFile(&file);
    if (succeeded(written))
        return 0;
    reportWriteError(path, written.systemError);
    return 1;
}

int runDecode(const DecodeOptions& options) {
    if (refuseToOverwriteInput(options.input, options.output))
        return 1;
    const InputLoad load = loadInputFile(options.input, options.reading);
    if (!reportInputLoad(options.input, load))
        return 1;
    // Said on standard error, which is never the PPM's stream.
    if (!load.colourConvertedFrom.empty())
        printText(stderr, "%s: colours converted from %s to sRGB (perceptual)\n",
                  options.input.c_str(), load.colourConvertedFrom.c_str());
    const int status = writePpm(options.output, load.image);
    free(load.image.pixels);
    return status;
}

} // namespace

void addDecodeCommand(CLI::App& app, CommandRunner& runner) {
    auto options = std::make_shared<DecodeOptions>();
    CLI::App* command = app.add_subcommand(
        "decode", "Decode a picture into a binary PPM: what a conversion starts from");
    command->add_option("INPUT", options->input, pictureInputText)->required();
    command->add_option("OUTPUT", options->output, "PPM file to write (- for standard output)")
        ->required();
    addReadingOptions(command, options->reading);
    command->callback([options, &runner] { runner = [options] { return runDecode(*options); }; });
}
