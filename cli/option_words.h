// Options whose value is one word of a short list ("--dither ordered",
// "--fit cover"): matched without regard to case, shown in help as the given
// value name, and refused in plain words otherwise. Only the words are
// accepted, never the numbers behind them.
#pragma once

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

// "a, b or c"
std::string listOfWords(const std::vector<std::string>& words);

// The index of word in words, ignoring case, or -1.
int findWord(const std::vector<std::string>& words, const std::string& word);

template <typename T>
CLI::Option* addWordOption(CLI::App* command, const std::string& name, T& target,
                           const std::vector<std::pair<std::string, T>>& choices,
                           const std::string& valueName, const std::string& description) {
    std::vector<std::string> words(choices.size());
    std::transform(choices.begin(), choices.end(), words.begin(),
                   [](const std::pair<std::string, T>& choice) { return choice.first; });
    const std::string optionName = name.substr(name.rfind(',') + 1);
    CLI::Option* option = command->add_option_function<std::string>(
        name,
        [&target, choices, words, optionName](const std::string& value) {
            const int index = findWord(words, value);
            if (index < 0)
                throw CLI::ValidationError(optionName,
                                           "'" + value + "' is not one of " + listOfWords(words));
            target = choices[static_cast<size_t>(index)].second;
        },
        description);
    option->option_text(valueName);
    return option;
}

// An option whose value parse reads (throwing a CLI::ValidationError for a
// value it refuses), shown in help with the given value name.
template <typename Parse>
CLI::Option* addParsedOption(CLI::App* command, const std::string& name, Parse parse,
                             const std::string& valueName, const std::string& description) {
    CLI::Option* option = command->add_option_function<std::string>(name, parse, description);
    option->option_text(valueName);
    return option;
}
