#include "cli/dither_options.h"

#include "cli/option_words.h"

#include <string>

void addQuantisationOptions(CLI::App* command, Quantisation& quantisation) {
    addWordOption<DitherMethod>(
        command, "--dither", quantisation.method,
        {{"none", DitherMethod::none},
         {"ordered", DitherMethod::ordered},
         {"floyd-steinberg", DitherMethod::floydSteinberg},
         {"fs", DitherMethod::floydSteinberg},
         {"atkinson-boyle", DitherMethod::atkinsonBoyle},
         {"atkinson", DitherMethod::atkinsonBoyle}},
        "MODE",
        "how colours are reduced to 16 bits:\n"
        "  none             each channel truncated to its top 5 or 6 bits\n"
        "  ordered          8 x 8 Bayer pattern: a pixel depends only on itself, "
        "and a flat area averages to its colour as shown\n"
        "  floyd-steinberg  error diffusion (fs); the default\n"
        "  atkinson-boyle   error diffusion keeping 3/4 of the error (atkinson)");
    // Option callbacks run in the order the options were added, so --dither
    // has been stored by the time this one looks at it.
    command->add_flag_callback(
        "--serpentine",
        [&quantisation] {
            if (quantisation.method != DitherMethod::floydSteinberg &&
                quantisation.method != DitherMethod::atkinsonBoyle)
                throw CLI::ValidationError("--serpentine",
                                           "only floyd-steinberg and atkinson-boyle diffuse "
                                           "error; there is no scan order to change for " +
                                               std::string(ditherMethodName(quantisation.method)));
            quantisation.serpentine = true;
        },
        "with floyd-steinberg or atkinson-boyle: odd rows right to left, pattern mirrored");
    addGreenCompensationOption(command, quantisation.greenCompensation);
}

void addGreenCompensationOption(CLI::App* command, bool& greenCompensation) {
    addWordOption<bool>(command, "--green-compensation", greenCompensation,
                        {{"on", true}, {"off", false}}, "on|off",
                        "quantise a green equal to red or blue to 5 bits, so grey stays grey; "
                        "default on");
}
