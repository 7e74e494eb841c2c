#include "cli/commands.h"
#include "cli/option_words.h"
#include "platform/console.h"

#include "formats/preview_bmp.h"

#include <cerrno>
#include <cstdlib>

namespace {

struct ConvertOptions {
    Quantisation quantisation;
    ReadingChoices reading;
    std::vector<std::string> files;
    bool batch = false; // --output-dir given
    std::string outputDir;
    std::string extension = "rgn";
    int32_t jobs = 0;
    std::string preview;
    OutputOptions output;
    bool extensionGiven = false;
};

WordFileChoice outputChoice(const ConvertOptions& options) {
    return wordFileChoice(options.output, options.quantisation, options.files[0], options.files[1]);
}

// Both files from the same words, committed together: either both are
// written or neither target changes.
int32_t writeFileAndPreview(const ConvertOptions& options, const RgbImage& image,
                            const uint8_t* words) {
    const std::string& output = options.files[1];
    OutputFile rgn;
    OutputFile preview;
    if (const Status opened = openOutputFile(&rgn, output.c_str()); !succeeded(opened)) {
        reportWriteError(output, opened.systemError);
        return 1;
    }
    if (const Status opened = openOutputFile(&preview, options.preview.c_str());
        !succeeded(opened)) {
        abandonOutputFile(&rgn);
        reportWriteError(options.preview, opened.systemError);
        return 1;
    }
    WordFileWriter writer{outputChoice(options), 0, {}};
    putWrappedWords(&rgn, image.width, image.height, words, wordFileWrapping(&writer));
    putPreviewFile(&preview, options.preview.c_str(), image.width, image.height, words);
    int failed = 0;
    const Status written = commitOutputFiles(&rgn, &preview, &failed);
    if (succeeded(written))
        return 0;
    reportWriteError(failed == 0 ? output : options.preview, written.systemError);
    return 1;
}

int convertWithPreview(const ConvertOptions& options, const RgbImage& image) {
    int32_t bytes = 0;
    uint8_t* words = quantiseImage(image, options.quantisation, &bytes);
    if (words == nullptr) {
        reportWriteError(options.files[1], image.width < 0 || image.height < 0 ? EINVAL : ENOMEM);
        return 1;
    }
    const int status = writeFileAndPreview(options, image, words);
    free(words);
    return status;
}

bool refusesItsOwnFiles(const ConvertOptions& options) {
    const std::string& input = options.files[0];
    const std::string& output = options.files[1];
    if (refuseToOverwriteInput(input, output))
        return true;
    return !options.preview.empty() && (refuseToOverwriteInput(input, options.preview) ||
                                        refuseToOverwrite(output, options.preview, "output"));
}

Reason provideRows(void* reading, int32_t count, uint8_t* rows) {
    return readNextRows(static_cast<RowReading*>(reading), count, rows);
}

// A file read by rows is converted while it is read: each piece's rows are
// read or decoded just before they are quantised, and a file that turns out
// damaged leaves the target as it was. A refusal or a failed write does not
// hide the picture's own failure: the rest of the rows are read first, as
// when the picture is loaded before it is converted.
int convertWhileReading(const ConvertOptions& options, RowReading* reading) {
    const std::string& output = options.files[1];
    WordFileWriter writer{outputChoice(options), 0, {}};
    const std::string refusal =
        formatRefusal(writer.choice, reading->width, reading->height, output);
    Status written{};
    if (refusal.empty()) {
        const RowSupply supply{reading, provideRows};
        written = convertRowsToFile(output.c_str(), reading->width, reading->height,
                                    options.quantisation, supply, wordFileWrapping(&writer));
    }
    const bool stopped = written.reason == Reason::System && written.systemError == EINTR;
    if (!refusal.empty() || (written.reason == Reason::System && !stopped))
        (void)readRemainingRows(reading);
    if (!finishInputRows(options.files[0], reading))
        return 1;
    if (!refusal.empty()) {
        printText(stderr, "%s\n", refusal.c_str());
        return 1;
    }
    if (!succeeded(written)) {
        reportWriteError(output, written.systemError);
        return 1;
    }
    return 0;
}

int runSingleConvert(const ConvertOptions& options) {
    if (refusesItsOwnFiles(options))
        return 1;
    RowReading reading;
    FILE* input = nullptr;
    if (options.preview.empty() &&
        startInputRows(options.files[0], options.reading, &reading, &input)) {
        const int status = convertWhileReading(options, &reading);
        (void)fclose(input); // a stream that was only read from
        return status;
    }
    RgbImage image{};
    if (!loadInputImage(options.files[0], options.reading, &image))
        return 1;
    int status = 0;
    WordFileWriter writer{outputChoice(options), 0, {}};
    const RgbImage shown = imageOrEmpty(image);
    if (const std::string refusal =
            formatRefusal(writer.choice, shown.width, shown.height, options.files[1]);
        !refusal.empty()) {
        printText(stderr, "%s\n", refusal.c_str());
        status = 1;
    } else if (!options.preview.empty()) {
        status = convertWithPreview(options, image);
    } else {
        const Status written = convertImageToFile(options.files[1].c_str(), image,
                                                  options.quantisation, wordFileWrapping(&writer));
        if (!succeeded(written)) {
            reportWriteError(options.files[1], written.systemError);
            status = 1;
        }
    }
    free(image.pixels);
    return status;
}

// A batch's extension follows --format when only that is given; then the
// choices are checked against the format every output gets.
void settleOutputFormat(ConvertOptions& options) {
    if (options.batch && options.output.formatGiven && !options.extensionGiven) {
        const char* extensions[] = {"rgn", "raw", "c"};
        options.extension = extensions[static_cast<int>(options.output.format)];
    }
    const std::string sample = options.batch ? "." + options.extension : options.files[1];
    checkOutputChoices(options.output, outputFormat(options.output, sample), options.batch);
}

int runConvert(const ConvertOptions& options) {
    if (!options.batch)
        return runSingleConvert(options);
    BatchOptions batch;
    batch.inputs = options.files;
    batch.outputDir = options.outputDir;
    batch.extension = options.extension;
    batch.jobs = options.jobs;
    batch.quantisation = options.quantisation;
    batch.reading = options.reading;
    batch.output = options.output;
    return runBatch(batch);
}

} // namespace

void addConvertCommand(CLI::App& app, CommandRunner& runner) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = app.add_subcommand(
        "convert", "Convert a picture into an RGN/MBR file, or many into a folder");
    addQuantisationOptions(command, options->quantisation);
    addReadingOptions(command, options->reading);
    command
        ->add_option(
            "FILES", options->files,
            "INPUT OUTPUT: a BMP, TGA, PNG, JPEG, GIF or WebP file (- for standard input) and "
            "the file to write, RGN/MBR, raw words or C text by --format or its "
            "extension (- for standard output); with --output-dir, every argument is "
            "an input")
        ->required();
    CLI::Option* outputDir = command->add_option(
        "--output-dir", options->outputDir,
        "convert every INPUT to DIR/<name>.rgn (the folder is created when missing)");
    outputDir->option_text("DIR");
    addWordOption<std::string>(
        command, "--extension", options->extension,
        {{"rgn", "rgn"}, {"mbr", "mbr"}, {"raw", "raw"}, {"bin", "bin"}, {"c", "c"}, {"h", "h"}},
        "EXT",
        "the outputs' extension with --output-dir: rgn, mbr, raw, bin, c or h; default the "
        "format's (rgn, raw, c)")
        ->needs(outputDir)
        ->each([options](const std::string&) { options->extensionGiven = true; });
    addOutputOptions(command, options->output);
    command
        ->add_option("-j,--jobs", options->jobs,
                     "files converted at once; default one per processor core")
        ->check(CLI::Range(1, 1024))
        ->option_text("N")
        ->needs(outputDir);
    command
        ->add_option("--preview", options->preview,
                     "also write a picture of the quantised result to this file: a PNG when "
                     "its name ends in .png, else a 24-bit BMP; written together with OUTPUT "
                     "or not at all")
        ->option_text("FILE")
        ->excludes(outputDir);
    command->callback([options, outputDir, &runner] {
        options->batch = outputDir->count() > 0;
        if (!options->batch && options->files.size() != 2)
            throw CLI::ValidationError("convert",
                                       "expected INPUT OUTPUT, or INPUT... --output-dir DIR");
        settleOutputFormat(*options);
        runner = [options] { return runConvert(*options); };
    });
}
