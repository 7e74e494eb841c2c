// Batch conversion: every input to its own file in one folder, on a few
// worker threads that take the next file as they become free. Each file is
// converted on its own exactly as the single-file command would, so the
// outputs do not depend on the number of threads. Failures are reported one
// line per file, in the order of the inputs, as soon as every file before
// them is done; a one-line progress display is kept on standard error only
// when it is a terminal.
#include "cli/commands.h"
#include "platform/console.h"

#include "platform/file_identity.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/output_stop.h"
#include "platform/path_names.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Outcome {
    bool done = false;
    bool interrupted = false;
    std::string failure; // empty when the file converted
    std::vector<std::string> warnings;
};

struct Batch {
    explicit Batch(const BatchOptions& batchOptions) : options(batchOptions) {}

    const BatchOptions& options;
    std::vector<std::string> outputs;
    std::vector<Outcome> outcomes;
    std::atomic<size_t> nextFile{0};

    std::mutex lock;     // guards everything below and standard error
    size_t reported = 0; // outcomes printed so far, in input order
    size_t finished = 0;
    size_t failed = 0;
    size_t interrupted = 0;
    bool showProgress = false;
    size_t progressLength = 0;
};

std::string joinPath(const std::string& dir, const std::string& name) {
    return !dir.empty() && isPathSeparator(dir.back()) ? dir + name : dir + "/" + name;
}

// Under the lock: the progress line is rubbed out before anything else is
// printed and drawn again after.
void clearProgress(Batch& batch) {
    if (batch.progressLength == 0)
        return;
    printText(stderr, "\r%*s\r", static_cast<int>(batch.progressLength), "");
    batch.progressLength = 0;
}

void drawProgress(Batch& batch) {
    if (!batch.showProgress)
        return;
    const std::string line = "converting: " + std::to_string(batch.finished) + " of " +
                             std::to_string(batch.outcomes.size()) + " done, " +
                             std::to_string(batch.failed) + " failed";
    printText(stderr, "\r%s", line.c_str());
    (void)fflush(stderr); // progress is a courtesy; a lost line changes no outcome
    batch.progressLength = line.size();
}

void record(Batch& batch, size_t file, Outcome outcome) {
    std::lock_guard<std::mutex> guard(batch.lock);
    outcome.done = true;
    batch.outcomes[file] = std::move(outcome);
    if (batch.outcomes[file].interrupted)
        ++batch.interrupted;
    else
        ++batch.finished;
    if (!batch.outcomes[file].interrupted && !batch.outcomes[file].failure.empty())
        ++batch.failed;
    clearProgress(batch);
    for (; batch.reported < batch.outcomes.size() && batch.outcomes[batch.reported].done;
         ++batch.reported) {
        const Outcome& done = batch.outcomes[batch.reported];
        const char* input = batch.options.inputs[batch.reported].c_str();
        for (const std::string& warning : done.warnings)
            printText(stderr, "%s: %s\n", input, warning.c_str());
        if (!done.interrupted && !done.failure.empty())
            printText(stderr, "%s: %s\n", input, done.failure.c_str());
    }
    drawProgress(batch);
}

Outcome convertFile(const BatchOptions& options, const std::string& input,
                    const std::string& output) {
    InputLoad load = loadInputFile(input, options.reading);
    Outcome outcome;
    outcome.warnings = std::move(load.warnings);
    outcome.failure = std::move(load.failure);
    if (outcome.failure.empty()) {
        WordFileWriter writer{
            wordFileChoice(options.output, options.quantisation, input, output), 0, {}};
        const RgbImage shown = imageOrEmpty(load.image);
        outcome.failure = formatRefusal(writer.choice, shown.width, shown.height, output);
        if (outcome.failure.empty()) {
            const Status written = convertImageToFile(
                output.c_str(), load.image, options.quantisation, wordFileWrapping(&writer));
            if (!succeeded(written))
                outcome.failure = writeErrorMessage(output, written.systemError);
        }
        free(load.image.pixels);
    }
    // Whatever went wrong after a stop was asked for is the stop's doing.
    outcome.interrupted = !outcome.failure.empty() && outputStopRequested();
    return outcome;
}

void work(Batch& batch) {
    while (!outputStopRequested()) {
        const size_t file = batch.nextFile.fetch_add(1);
        if (file >= batch.outcomes.size())
            return;
        record(batch, file,
               convertFile(batch.options, batch.options.inputs[file], batch.outputs[file]));
    }
}

// Output paths for every input, or a usage message when two inputs would
// write the same file or one has no name to give.
std::string planOutputs(const BatchOptions& options, std::vector<std::string>* outputs) {
    std::map<std::string, size_t> claimed;
    for (size_t i = 0; i < options.inputs.size(); ++i) {
        const std::string base = outputBaseName(options.inputs[i]);
        if (base.empty())
            return "input '" + options.inputs[i] + "' has no file name to name its output after";
        if (options.inputs[i] == "-")
            return "standard input (-) has no name to give its output; convert it on its own "
                   "with an OUTPUT";
        const std::string output = joinPath(options.outputDir, base + "." + options.extension);
        // Two outputs are one file when their names match, ignoring case
        // where the file system does.
        const auto [earlier, added] = claimed.emplace(foldPathCase(output), i);
        if (!added)
            return "inputs '" + options.inputs[earlier->second] + "' and '" + options.inputs[i] +
                   "' would both be written to " + output + "; nothing was converted";
        outputs->push_back(output);
    }
    return {};
}

// An output that is one of the inputs (by identity: a link, a second name,
// the input's own name with the batch's extension) would destroy it. The
// message, or empty.
std::string findInputOverwrite(const BatchOptions& options,
                               const std::vector<std::string>& outputs) {
    std::map<std::pair<uint64_t, uint64_t>, size_t> inputs;
    for (size_t i = 0; i < options.inputs.size(); ++i) {
        FileIdentity identity{};
        if (options.inputs[i] != "-" && // standard input has no name to collide with
            fileIdentity(options.inputs[i].c_str(), &identity))
            inputs.emplace(std::make_pair(identity.volume, identity.index), i);
    }
    for (const std::string& output : outputs) {
        FileIdentity identity{};
        if (!fileIdentity(output.c_str(), &identity))
            continue;
        const auto input = inputs.find(std::make_pair(identity.volume, identity.index));
        if (input != inputs.end())
            return "Error writing " + output + ": it is the input file " +
                   options.inputs[input->second] + "; nothing was converted";
    }
    return {};
}

// The folder exists afterwards, or the message says why not.
std::string prepareOutputDir(const std::string& dir) {
    std::error_code error;
    const std::filesystem::path folder = fileSystemPath(dir);
    std::filesystem::create_directories(folder, error);
    if (std::filesystem::is_directory(folder, error))
        return {};
    return "Error creating output folder " + dir + ": " +
           (error ? error.message() : std::string("not a folder"));
}

size_t workerCount(int32_t jobs, size_t files) {
    size_t count = jobs > 0 ? static_cast<size_t>(jobs) : std::thread::hardware_concurrency();
    if (count == 0)
        count = 1;
    return count < files ? count : files;
}

} // namespace

std::string outputBaseName(const std::string& input) {
    size_t start = input.size();
    while (start > 0 && !isPathSeparator(input[start - 1]))
        --start;
    const std::string name = input.substr(start);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int runBatch(const BatchOptions& options) {
    if (options.outputDir.empty()) {
        printText(stderr, "convert: --output-dir needs a folder name\n");
        return 2;
    }
    Batch batch(options);
    const std::string planProblem = planOutputs(options, &batch.outputs);
    if (!planProblem.empty()) {
        printText(stderr, "convert: %s\n", planProblem.c_str());
        return 2;
    }
    const std::string overwrite = findInputOverwrite(options, batch.outputs);
    if (!overwrite.empty()) {
        printText(stderr, "convert: %s\n", overwrite.c_str());
        return 2;
    }
    const std::string dirProblem = prepareOutputDir(options.outputDir);
    if (!dirProblem.empty()) {
        printText(stderr, "%s\n", dirProblem.c_str());
        return 1;
    }
    batch.outcomes.resize(options.inputs.size());
    batch.showProgress = isTerminal(stderr);
    {
        std::lock_guard<std::mutex> guard(batch.lock);
        drawProgress(batch);
    }
    std::vector<std::thread> workers;
    const size_t count = workerCount(options.jobs, options.inputs.size());
    for (size_t i = 0; i < count; ++i) {
        try {
            workers.emplace_back(work, std::ref(batch));
        } catch (const std::system_error&) {
            break; // the threads already started share the work
        }
    }
    if (workers.empty())
        work(batch);
    for (std::thread& worker : workers)
        worker.join();
    clearProgress(batch);
    // Files never started count with those abandoned part way.
    const size_t notConverted = batch.outcomes.size() - batch.finished;
    std::string summary = std::to_string(batch.finished - batch.failed) + " converted, " +
                          std::to_string(batch.failed) + " failed";
    if (notConverted > 0)
        summary += ", " + std::to_string(notConverted) + " not converted (interrupted)";
    printText(stdout, "%s\n", summary.c_str());
    if (notConverted > 0)
        return interruptedStatus;
    return batch.failed > 0 ? 1 : 0;
}
