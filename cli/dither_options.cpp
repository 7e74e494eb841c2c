#include "cli/dither_options.h"

#include <map>
#include <string>

namespace {

const std::map<std::string, DitherMethod>& ditherNames() {
    static const std::map<std::string, DitherMethod> names = {
        {"none", DitherMethod::none},
        {"floyd-steinberg", DitherMethod::floydSteinberg},
        {"fs", DitherMethod::floydSteinberg},
        {"atkinson-boyle", DitherMethod::atkinsonBoyle},
        {"atkinson", DitherMethod::atkinsonBoyle},
        {"ordered", DitherMethod::ordered},
    };
    return names;
}

const std::map<std::string, bool>& switchNames() {
    static const std::map<std::string, bool> names = {{"on", true}, {"off", false}};
    return names;
}

} // namespace

void addQuantisationOptions(CLI::App* command, Quantisation& quantisation) {
    command
        ->add_option("--dither", quantisation.method,
                     "none, floyd-steinberg (fs), atkinson-boyle (atkinson) or ordered; "
                     "default floyd-steinberg")
        ->transform(CLI::CheckedTransformer(ditherNames(), CLI::ignore_case));
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
    command
        ->add_option("--green-compensation", greenCompensation,
                     "on or off: quantise a green equal to red or blue to 5 bits; default on")
        ->transform(CLI::CheckedTransformer(switchNames(), CLI::ignore_case));
}
