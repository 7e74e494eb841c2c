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
                     "none, floyd-steinberg (fs) or atkinson-boyle (atkinson); "
                     "default floyd-steinberg")
        ->transform(CLI::CheckedTransformer(ditherNames(), CLI::ignore_case));
    command
        ->add_option("--green-compensation", quantisation.greenCompensation,
                     "on or off: quantise a green equal to red or blue to 5 bits; default on")
        ->transform(CLI::CheckedTransformer(switchNames(), CLI::ignore_case));
}
