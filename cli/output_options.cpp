#include "cli/output_options.h"

#include "cli/option_words.h"

namespace {

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The options that make these words again, for the C text's first comment.
std::string quantisationText(const Quantisation& quantisation) {
    std::string text = std::string("made with --dither ") + ditherMethodName(quantisation.method);
    if (quantisation.serpentine)
        text += " --serpentine";
    return text + " --green-compensation " + (quantisation.greenCompensation ? "on" : "off");
}

} // namespace

void addOutputOptions(CLI::App* command, OutputOptions& options) {
    addWordOption<WordFormat>(
        command, "--format", options.format,
        {{"rgn", WordFormat::rgn}, {"raw", WordFormat::raw}, {"c", WordFormat::c}}, "rgn|raw|c",
        "what OUTPUT holds; default from its extension:\n"
        "  rgn  an RGN/MBR file (.rgn, .mbr, standard output, any other)\n"
        "  raw  the pixel words alone (.raw, .bin)\n"
        "  c    C source of a uint16_t array (.c; .h for a header)")
        ->each([&options](const std::string&) { options.formatGiven = true; });
    addWordOption<ByteOrder>(command, "--byte-order", options.order,
                             {{"little", ByteOrder::little}, {"big", ByteOrder::big}}, "little|big",
                             "byte order of raw and C words; default little (big: high byte "
                             "first, as SPI panels take it)");
    addParsedOption(
        command, "--name",
        [&options](const std::string& value) {
            if (!isCIdentifier(value))
                throw CLI::ValidationError("--name", "'" + value +
                                                         "' is not a C identifier (letters, "
                                                         "digits and _, not starting with a "
                                                         "digit, not a keyword)");
            options.name = value;
        },
        "IDENT", "the C array's name; default the output's file name");
}

WordFormat outputFormat(const OutputOptions& options, const std::string& output) {
    return options.formatGiven ? options.format : wordFormatOfName(output);
}

void checkOutputChoices(const OutputOptions& options, WordFormat format, bool batch) {
    if (format == WordFormat::rgn && options.order == ByteOrder::big)
        throw CLI::ValidationError("--byte-order",
                                   "RGN/MBR files are little-endian by definition; big-endian "
                                   "words come as --format raw or c");
    if (options.name.empty())
        return;
    if (format != WordFormat::c)
        throw CLI::ValidationError("--name", "only C text (--format c) has an array to name");
    if (batch)
        throw CLI::ValidationError("--name", "a batch names each array after its file");
}

WordFileChoice wordFileChoice(const OutputOptions& options, const Quantisation& quantisation,
                              const std::string& input, const std::string& output) {
    WordFileChoice choice;
    choice.format = outputFormat(options, output);
    choice.order = options.order;
    if (choice.format != WordFormat::c)
        return choice;
    const bool toStandardOutput = output == "-";
    CTextDescription& text = choice.text;
    text.name = !options.name.empty() ? options.name
                : !toStandardOutput   ? cIdentifierOfFile(output)
                : input != "-"        ? cIdentifierOfFile(input)
                                      : std::string("image");
    text.fileName = toStandardOutput ? "standard output" : lastComponent(output);
    text.sourceName = input == "-" ? "standard input" : lastComponent(input);
    text.modeText = quantisationText(quantisation);
    text.order = options.order;
    text.header = !toStandardOutput && output.size() >= 2 &&
                  (output.compare(output.size() - 2, 2, ".h") == 0 ||
                   output.compare(output.size() - 2, 2, ".H") == 0);
    return choice;
}

std::string formatRefusal(const WordFileChoice& choice, const RgbImage& image,
                          const std::string& output) {
    if (choice.format == WordFormat::c &&
        (image.width == 0 || image.height == 0 || image.pixels == nullptr))
        return "Error writing " + output + ": a picture without pixels cannot be C text";
    return {};
}
