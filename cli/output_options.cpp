#include "cli/output_options.h"

#include "cli/option_words.h"

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
    // Standard output has no file name: the array takes the picture's, and
    // the comment says where the text went.
    const bool toStandardOutput = output == "-";
    const std::string source = input == "-" ? "standard input" : input;
    const std::string name = !options.name.empty() || !toStandardOutput ? options.name
                             : input != "-"                             ? cIdentifierOfFile(input)
                                                                        : "image";
    return describeWordFile(outputFormat(options, output), options.order, name, quantisation,
                            source, toStandardOutput ? "standard output" : output);
}

std::string formatRefusal(const WordFileChoice& choice, int32_t width, int32_t height,
                          const std::string& output) {
    if (choice.format == WordFormat::c && (width == 0 || height == 0))
        return "Error writing " + output + ": a picture without pixels cannot be C text";
    return {};
}
