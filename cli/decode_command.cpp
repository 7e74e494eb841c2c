#include "cli/commands.h"

#include "convert/target_file.h"
#include <cerrno>
#include <cstdlib>

namespace {

struct DecodeOptions {
    std::string input;
    std::string output;
    InputOptions reading;
};

// Binary PPM (P6, maxval 255), rows from row 0. Removes a regular file that
// it could not finish.
int writePpm(const std::string& path, const RgbImage& image) {
    bool regular = false;
    FILE* stream = openTargetFile(path.c_str(), &regular);
    if (stream == nullptr) {
        reportWriteError(path, errno);
        return 1;
    }
    const size_t bytes = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3;
    bool written = fprintf(stream, "P6\n%d %d\n255\n", image.width, image.height) > 0;
    if (written && bytes > 0)
        written = fwrite(image.pixels, 1, bytes, stream) == bytes;
    int code = written ? 0 : errno;
    if (fclose(stream) != 0 && written) {
        written = false;
        code = errno;
    }
    if (written)
        return 0;
    if (regular)
        (void)remove(path.c_str()); // the run fails either way; this only tidies up
    reportWriteError(path, code != 0 ? code : EIO);
    return 1;
}

int runDecode(const DecodeOptions& options) {
    if (refuseToOverwriteInput(options.input, options.output))
        return 1;
    RgbImage image{};
    if (!loadInputImage(options.input, options.reading, &image))
        return 1;
    const int status = writePpm(options.output, image);
    free(image.pixels);
    return status;
}

} // namespace

void addDecodeCommand(CLI::App& app, CommandRunner& runner) {
    auto options = std::make_shared<DecodeOptions>();
    CLI::App* command = app.add_subcommand("decode", "Decode a BMP or TGA image into a binary PPM");
    command->add_option("INPUT", options->input, "BMP or TGA file")->required();
    command->add_option("OUTPUT", options->output, "PPM file to write")->required();
    addInputOptions(command, options->reading);
    command->callback([options, &runner] { runner = [options] { return runDecode(*options); }; });
}
