// halvex-cli compare: every quantisation of one picture, measured, best
// first, as a table or as JSON, and optionally a contact sheet PNG.
#include "cli/commands.h"
#include "platform/console.h"

#include "formats/png_encode.h"
#include "measure/comparison.h"
#include "platform/output_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct CompareOptions {
    std::string input;
    ReadingChoices reading;
    bool greenCompensation = true; // the sheet's
    std::string sheet;
    int32_t zoom = 0; // 0: defaultSheetZoom
    bool json = false;
};

struct Figures {
    char psnr[32]; // "inf" when the expansion equals the source
    char meanDeltaE[32];
    char maxDeltaE[32];
    char greyDrift[32];
};

Figures printedFigures(const QualityFigures& f) {
    Figures out{};
    double psnr = 0.0;
    if (psnrOf(f, &psnr))
        formatFigure(psnr, 2, out.psnr, sizeof out.psnr);
    else
        snprintf(out.psnr, sizeof out.psnr, "inf");
    formatFigure(meanDeltaEOf(f), 2, out.meanDeltaE, sizeof out.meanDeltaE);
    formatFigure(f.deltaEMax, 2, out.maxDeltaE, sizeof out.maxDeltaE);
    formatFigure(greyDriftOf(f), 4, out.greyDrift, sizeof out.greyDrift);
    return out;
}

void printTable(const CompareOptions& options, const RgbImage& image,
                const ComparedResult results[comparedChoices]) {
    printText(stdout, "%s: %d x %d\n", options.input.c_str(), image.width, image.height);
    printText(stdout, "%-16s %-10s %-18s %7s %12s %11s %10s\n", "dither", "serpentine",
              "green_compensation", "psnr", "mean_delta_e", "max_delta_e", "grey_drift");
    for (int32_t i = 0; i < comparedChoices; ++i) {
        const Quantisation& q = results[i].quantisation;
        const Figures f = printedFigures(results[i].figures);
        printText(stdout, "%-16s %-10s %-18s %7s %12s %11s %10s\n", ditherMethodName(q.method),
                  q.serpentine ? "yes" : "no", q.greenCompensation ? "on" : "off", f.psnr,
                  f.meanDeltaE, f.maxDeltaE, f.greyDrift);
    }
}

// Length of the well-formed UTF-8 sequence at text[at], or 0 when the byte
// there starts none: overlong forms, surrogates and code points above
// U+10FFFF are not well formed. The second byte's range is what excludes them.
size_t utf8SequenceLength(const std::string& text, size_t at) {
    const auto byteAt = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byteAt(at);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byteAt(at + 1) < low || byteAt(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byteAt(at + i) < 0x80 || byteAt(at + i) > 0xBF)
            return 0;
    return length;
}

// A JSON string is always valid JSON: quotes, backslashes and control
// characters escaped, and each byte that is not part of well-formed UTF-8
// replaced by U+FFFD, since a file name may be any bytes.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const size_t length = utf8SequenceLength(text, at);
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            at += 1;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out + "\"";
}

// The exact bytes of a name, two lowercase hex digits each, for callers who
// need the name that jsonString may have had to alter.
std::string jsonHexString(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out + "\"";
}

void printJson(const CompareOptions& options, const RgbImage& image,
               const ComparedResult results[comparedChoices]) {
    printText(stdout,
              "{\"source\": {\"path\": %s, \"path_bytes\": %s, \"width\": %d, \"height\": %d},\n "
              "\"results\": [\n",
              jsonString(options.input).c_str(), jsonHexString(options.input).c_str(), image.width,
              image.height);
    for (int32_t i = 0; i < comparedChoices; ++i) {
        const Quantisation& q = results[i].quantisation;
        const Figures f = printedFigures(results[i].figures);
        printText(
            stdout,
            "  {\"dither\": \"%s\", \"serpentine\": %s, \"green_compensation\": %s, "
            "\"psnr\": %s, \"mean_delta_e\": %s, \"max_delta_e\": %s, \"grey_drift\": %s}%s\n",
            ditherMethodName(q.method), q.serpentine ? "true" : "false",
            q.greenCompensation ? "true" : "false", strcmp(f.psnr, "inf") == 0 ? "null" : f.psnr,
            f.meanDeltaE, f.maxDeltaE, f.greyDrift, i + 1 < comparedChoices ? "," : "");
    }
    printText(stdout, " ]}\n");
}

int writeSheet(const std::string& path, const ContactSheet& sheet) {
    const std::vector<uint8_t> png =
        encodePngRgb(sheet.rgb, sheet.layout.width, sheet.layout.height);
    if (png.empty()) {
        reportWriteError(path, ENOMEM);
        return 1;
    }
    if (const Status written = writeOutputFile(path.c_str(), png.data(), png.size());
        !succeeded(written)) {
        reportWriteError(path, written.systemError);
        return 1;
    }
    return 0;
}

// Everything after loading: the sheet is laid out and allocated before the
// work, the table printed before the sheet is written.
int compareImage(const CompareOptions& options, const RgbImage& image) {
    ContactSheet sheet{};
    if (!options.sheet.empty()) {
        SheetLayout layout{};
        const int32_t zoom = options.zoom > 0 ? options.zoom : defaultSheetZoom(image.width);
        if (!planSheet(image.width, image.height, zoom, &layout)) {
            fprintf(stderr,
                    "Error writing %s: a sheet of %d x %d pixels is too large (at most %lld "
                    "pixels); try a smaller --zoom or --resize\n",
                    options.sheet.c_str(), layout.width, layout.height,
                    static_cast<long long>(sheetMostPixels));
            return 1;
        }
        sheet = allocSheet(layout);
        if (sheet.rgb == nullptr) {
            reportWriteError(options.sheet, ENOMEM);
            return 1;
        }
    }
    ComparedResult results[comparedChoices];
    if (!compareQuantisations(image, options.greenCompensation,
                              options.sheet.empty() ? nullptr : &sheet, results)) {
        freeSheet(&sheet);
        printText(stderr, "%s: not enough memory to compare\n", options.input.c_str());
        return 1;
    }
    sortComparedResults(results);
    if (options.json)
        printJson(options, image, results);
    else
        printTable(options, image, results);
    int status = 0;
    if (fflush(stdout) != 0 || ferror(stdout) != 0) {
        reportWriteError("standard output", errno != 0 ? errno : EIO);
        status = 1;
    }
    if (!options.sheet.empty()) {
        labelSheet(&sheet, options.greenCompensation, results);
        if (writeSheet(options.sheet, sheet) != 0)
            status = 1;
    }
    freeSheet(&sheet);
    return status;
}

int runCompare(const CompareOptions& options) {
    if (!options.sheet.empty() && refuseToOverwriteInput(options.input, options.sheet))
        return 1;
    return withInputImage(options.input, options.reading, [&options](const RgbImage& image) {
        return compareImage(options, image);
    });
}

} // namespace

void addCompareCommand(CLI::App& app, CommandRunner& runner) {
    auto options = std::make_shared<CompareOptions>();
    CLI::App* command = app.add_subcommand(
        "compare", "Convert a picture in every mode and show how close each comes to it");
    command->add_option("INPUT", options->input, pictureInputText)->required();
    addReadingOptions(command, options->reading);
    addGreenCompensationOption(command, options->greenCompensation);
    CLI::Option* sheet = command->add_option(
        "--sheet", options->sheet,
        "also write a PNG contact sheet: the source and every mode at the chosen compensation");
    sheet->option_text("SHEET.png");
    command
        ->add_option("--zoom", options->zoom,
                     "scale the sheet's tiles up N times (1 to 256); default 1, or enough to "
                     "make a small picture at least 256 pixels wide")
        ->check(CLI::Range(1, sheetMostZoom))
        ->option_text("N")
        ->needs(sheet);
    command->add_flag("--json", options->json, "print the figures as one JSON object");
    command->callback([options, &runner] { runner = [options] { return runCompare(*options); }; });
}
