#include "cli/help_format.h"

#include <algorithm>
#include <memory>
#include <sstream>

namespace {

constexpr size_t helpWidth = 80;
constexpr size_t optionColumn = 26;  // where option descriptions start
constexpr size_t commandColumn = 14; // where command descriptions start

// Appends text, broken at spaces so that no line is longer than width, each
// line after the first indented by indent. Runs of spaces inside a line are
// kept (they align columns); a word longer than a line stays whole.
void appendWrapped(std::string& out, const std::string& text, size_t firstLineUsed, size_t indent) {
    size_t used = firstLineUsed;
    bool lineEmpty = true;
    size_t position = 0;
    while (position < text.size()) {
        const size_t wordStart = text.find_first_not_of(' ', position);
        if (wordStart == std::string::npos)
            break;
        const size_t wordEnd = std::min(text.find(' ', wordStart), text.size());
        const size_t gap = wordStart - position;
        const size_t length = wordEnd - wordStart;
        if (!lineEmpty && used + gap + length > helpWidth) {
            out += "\n" + std::string(indent, ' ');
            used = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out.append(gap, ' ');
            used += gap;
        }
        out.append(text, wordStart, length);
        used += length;
        lineEmpty = false;
        position = wordEnd;
    }
}

// Where the continuation lines of a line hang: under its second column when
// the first word is followed by two or more spaces ("  none    nearest ..."),
// else under its first word.
size_t hangingIndent(const std::string& line) {
    const size_t leading = std::min(line.find_first_not_of(' '), line.size());
    const size_t gap = line.find("  ", leading);
    const size_t firstSpace = line.find(' ', leading);
    if (gap == std::string::npos || gap != firstSpace)
        return leading;
    return std::min(line.find_first_not_of(' ', gap), line.size());
}

// Each of text's own lines wrapped to the width, its continuation lines
// hanging as hangingIndent says.
std::string wrapLines(const std::string& text, size_t firstLineUsed, size_t indent) {
    std::string out;
    std::istringstream lines(text);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        const size_t leading = std::min(line.find_first_not_of(' '), line.size());
        if (!first) {
            out += "\n" + std::string(indent + leading, ' ');
            firstLineUsed = indent + leading;
        } else if (leading > 0) {
            out += std::string(leading, ' ');
            firstLineUsed += leading;
        }
        appendWrapped(out, line.substr(leading), firstLineUsed, indent + hangingIndent(line));
        first = false;
    }
    return out;
}

// "  left      text", the text beside the left part, or below it when the
// left part reaches into the text's column.
std::string formatItem(const std::string& left, const std::string& text, size_t column) {
    std::string out = "  " + left;
    if (text.empty())
        return out + "\n";
    if (out.size() + 1 > column)
        out += "\n" + std::string(column, ' ');
    else
        out += std::string(column - out.size(), ' ');
    return out + wrapLines(text, column, column) + "\n";
}

bool isLibraryTypeName(const std::string& name) {
    static const char* const names[] = {"TEXT", "BOOLEAN", "ENUM", "CHAR", "COMPLEX"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names) ||
           name.find_first_of("[]<>") != std::string::npos;
}

// The word shown after an option that takes a value.
std::string valueName(const CLI::Option* option) {
    if (!option->get_option_text().empty())
        return option->get_option_text();
    // The library's type name, without the accepted-value tables that its
    // validators append after a colon.
    const std::string typeName = option->get_type_name();
    std::string base = typeName.substr(0, typeName.find(':'));
    if (base == "INT" || base == "UINT")
        return "N";
    if (base == "FLOAT")
        return "NUMBER";
    if (isLibraryTypeName(base))
        return "VALUE";
    return base;
}

class HelpFormatter : public CLI::Formatter {
  public:
    explicit HelpFormatter(std::vector<std::string> usageLines = {})
        : usageLines_(std::move(usageLines)) {
        label("Positionals", "Arguments");
        label("SUBCOMMAND", "COMMAND");
        label("SUBCOMMANDS", "COMMANDS");
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        return positional ? option->get_name(true, false) : option->get_name(false, true);
    }

    std::string make_option_opts(const CLI::Option* option) const override {
        // A flag has neither a value name nor a type.
        if (option->get_option_text().empty() && option->get_type_name().empty())
            return "";
        return " " + valueName(option);
    }

    std::string make_option(const CLI::Option* option, bool positional) const override {
        std::string left = make_option_name(option, positional);
        if (positional) {
            if (option->get_expected_max() >= CLI::detail::expected_max_vector_size)
                left += "...";
        } else {
            left += make_option_opts(option);
        }
        return formatItem(left, option->get_description(), optionColumn);
    }

    std::string make_subcommand(const CLI::App* command) const override {
        return formatItem(command->get_display_name(), command->get_description(), commandColumn);
    }

    std::string make_description(const CLI::App* app) const override {
        const std::string& text = app->get_description();
        return text.empty() ? "" : wrapLines(text, 0, 0) + "\n";
    }

    std::string make_usage(const CLI::App* app, std::string name) const override {
        if (usageLines_.empty())
            return wrapLines(CLI::Formatter::make_usage(app, std::move(name)), 0, 4) + "\n";
        std::string out;
        const std::string first = get_label("Usage") + ": ";
        for (size_t i = 0; i < usageLines_.size(); ++i) {
            const std::string lead = i == 0 ? first : std::string(first.size(), ' ');
            out += lead;
            appendWrapped(out, usageLines_[i], lead.size(), lead.size() + 4);
            out += "\n";
        }
        return out;
    }

    std::string make_footer(const CLI::App* app) const override {
        const std::string& text = app->get_footer();
        return text.empty() ? "" : wrapLines(text, 0, 0) + "\n";
    }

  private:
    std::vector<std::string> usageLines_;
};

void installFormatter(CLI::App& app, const std::shared_ptr<HelpFormatter>& formatter) {
    app.formatter(formatter);
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        if (!command->get_name().empty())
            command->group("Commands");
        installFormatter(*command, formatter);
    }
}

size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t substitution = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

void configureHelp(CLI::App& app) {
    installFormatter(app, std::make_shared<HelpFormatter>());
}

void setHelpUsage(CLI::App& command, const std::vector<std::string>& usageLines) {
    command.formatter(std::make_shared<HelpFormatter>(usageLines));
}

std::string closestName(const std::string& word, const std::vector<std::string>& candidates) {
    // A typing mistake changes a few letters, at most about a third of them.
    const size_t nearEnough = std::max<size_t>(1, (word.size() + 2) / 3);
    std::string best;
    size_t bestDistance = nearEnough + 1;
    for (const std::string& candidate : candidates) {
        const bool prefix = word.size() >= 2 && candidate.compare(0, word.size(), word) == 0;
        const size_t distance = prefix ? 0 : editDistance(word, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

std::string unknownCommandMessage(const CLI::App& app, int argc, const char* const* argv) {
    std::string word;
    for (int i = 1; i < argc && word.empty(); ++i) {
        if (argv[i][0] != '-')
            word = argv[i];
    }
    if (word.empty())
        return "";
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (command->check_name(word))
            return "";
        names.push_back(command->get_name());
    }
    const std::string suggestion = closestName(word, names);
    std::string message = "unknown command '" + word + "'";
    if (!suggestion.empty())
        message += "; did you mean '" + suggestion + "'?";
    return message;
}
