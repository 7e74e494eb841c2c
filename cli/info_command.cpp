#include "cli/commands.h"
#include "cli/rgn_input.h"
#include "platform/console.h"

#include <cinttypes>

namespace {

struct InfoOptions {
    std::string input;
};

void printHeader(const RgnFileHeader& header) {
    for (int32_t i = 0; i < rgnHeaderWordCount; ++i) {
        char value[16];
        formatRgnHeaderValue(i, header.words[i], value, sizeof value);
        const std::string label = std::string(rgnHeaderFieldName(i)) + ":";
        printText(stdout, "%-16s%s\n", label.c_str(), value);
    }
}

int runInfo(const InfoOptions& options) {
    RgnFileHeader header{};
    FILE* stream = openRgnFile(options.input, &header);
    if (stream == nullptr)
        return 1;
    (void)fclose(stream); // only read from
    if (header.headerComplete)
        printHeader(header);
    printText(stdout, "%-16s%" PRId64 "\n", "file length:", header.fileLength);
    if (!succeeded(checkRgnHeader(header))) {
        (void)fflush(stdout); // keeps the report above the verdict on a shared terminal
        printText(stderr, "%s: inconsistent: %s\n", options.input.c_str(),
                  rgnHeaderProblem(header).c_str());
        return 1;
    }
    printText(stdout, "consistent\n");
    return 0;
}

} // namespace

void addInfoCommand(CLI::App& app, CommandRunner& runner) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info", "Show the header of an RGN/MBR file and check that the file is consistent");
    command->add_option("FILE", options->input, "RGN/MBR file")->required();
    command->callback([options, &runner] { runner = [options] { return runInfo(*options); }; });
}
