#include "cli/commands.h"
#include "cli/rgn_input.h"
#include "platform/console.h"

#include "formats/preview_bmp.h"

#include <cstdlib>
#include <cstring>

namespace {

struct PreviewOptions {
    std::string input;
    std::string output;
};

int runPreview(const PreviewOptions& options) {
    if (refuseToOverwriteInput(options.input, options.output))
        return 1;
    RgnFileHeader header{};
    FILE* stream = openRgnFile(options.input, &header);
    if (stream == nullptr)
        return 1;
    if (!succeeded(checkRgnHeader(header))) {
        (void)fclose(stream); // a stream that was only read from
        printText(stderr, "%s: not a consistent RGN/MBR file: %s\n", options.input.c_str(),
                  rgnHeaderProblem(header).c_str());
        return 1;
    }
    uint8_t* words = readRgnPixels(stream, header);
    const int readError = errno;
    (void)fclose(stream); // a stream that was only read from
    if (words == nullptr) {
        printText(stderr, "Error reading file %s: %s\n", options.input.c_str(),
                  strerror(readError != 0 ? readError : EIO));
        return 1;
    }
    const Status written =
        writePreviewFile(options.output.c_str(), header.words[0], header.words[1], words);
    free(words);
    if (!succeeded(written)) {
        reportWriteError(options.output, written.systemError);
        return 1;
    }
    return 0;
}

} // namespace

void addPreviewCommand(CLI::App& app, CommandRunner& runner) {
    auto options = std::make_shared<PreviewOptions>();
    CLI::App* command =
        app.add_subcommand("preview", "Write a picture (BMP, or PNG for a .png name) of the pixels "
                                      "of an RGN/MBR file");
    command->add_option("INPUT", options->input, "RGN/MBR file")->required();
    command
        ->add_option("OUTPUT", options->output, "BMP or PNG file to write (- for standard output)")
        ->required();
    command->callback([options, &runner] { runner = [options] { return runPreview(*options); }; });
}
