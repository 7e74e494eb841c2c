#include "cli/option_words.h"

#include <cctype>

std::string listOfWords(const std::vector<std::string>& words) {
    std::string list;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            list += i + 1 == words.size() ? " or " : ", ";
        list += words[i];
    }
    return list;
}

int findWord(const std::vector<std::string>& words, const std::string& word) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& candidate = words[i];
        bool same = candidate.size() == word.size();
        for (size_t c = 0; same && c < word.size(); ++c)
            same = tolower(static_cast<unsigned char>(candidate[c])) ==
                   tolower(static_cast<unsigned char>(word[c]));
        if (same)
            return static_cast<int>(i);
    }
    return -1;
}
