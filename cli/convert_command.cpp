#include "cli/commands.h"

#include "convert/convert.h"

#include <cstdlib>
#include <map>

namespace {

struct ConvertOptions {
    DitherMode dither = ditherFloydSteinbergMode;
    bool greenCompensation = true;
    std::string input;
    std::string output;
};

const std::map<std::string, DitherMode> ditherNames = {
    {"none", ditherNone},
    {"floyd-steinberg", ditherFloydSteinbergMode},
    {"fs", ditherFloydSteinbergMode},
    {"atkinson-boyle", ditherAtkinsonBoyleMode},
    {"atkinson", ditherAtkinsonBoyleMode},
};

const std::map<std::string, bool> switchNames = {{"on", true}, {"off", false}};

int runConvert(const ConvertOptions& options) {
    RgbImage image{};
    if (!loadInputImage(options.input, &image))
        return 1;
    int systemError = 0;
    const int32_t result =
        convertImageToFile(options.output.c_str(), image, options.greenCompensation ? 1 : 0,
                           options.dither, &systemError);
    free(image.pixels);
    if (result < 0) {
        reportWriteError(options.output, systemError);
        return 1;
    }
    return 0;
}

} // namespace

void addConvertCommand(CLI::App& app, CommandRunner& runner) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command =
        app.add_subcommand("convert", "Convert a BMP or TGA image into an RGN/MBR file");
    command
        ->add_option("--dither", options->dither,
                     "none, floyd-steinberg (fs) or atkinson-boyle (atkinson); "
                     "default floyd-steinberg")
        ->transform(CLI::CheckedTransformer(ditherNames, CLI::ignore_case));
    command
        ->add_option("--green-compensation", options->greenCompensation,
                     "on or off: quantise a green equal to red or blue to 5 bits; default on")
        ->transform(CLI::CheckedTransformer(switchNames, CLI::ignore_case));
    command->add_option("INPUT", options->input, "BMP or TGA file")->required();
    command->add_option("OUTPUT", options->output, "RGN/MBR file to write")->required();
    command->callback([options, &runner] { runner = [options] { return runConvert(*options); }; });
}
