#include "arguments.hpp"

#include <algorithm>
#include <iterator>

namespace bleepforge::tool {
namespace {

struct Spelling {
    std::string_view word;
    Option option;
    bool takes_value;
};

// Every spelling, the option's own first.
constexpr Spelling spellings[] = {
    {"-o", Option::output, true},         {"--output", Option::output, true},
    {"--out-dir", Option::out_dir, true}, {"--rate", Option::rate, true},
    {"--seed", Option::seed, true},       {"--amount", Option::amount, true},
    {"--name", Option::name, true},       {"--layers", Option::layers, true},
    {"--depfile", Option::depfile, true}, {"--format", Option::format, true},
    {"--header", Option::header, false},  {"--play", Option::play, false},
    {"--loop", Option::loop, false},
};

}  // namespace

std::string_view spelling_of(Option option) {
    const auto found = std::find_if(std::begin(spellings), std::end(spellings),
                                    [&](const Spelling& s) { return s.option == option; });
    return found->word;
}

Result<Arguments> parse_arguments(std::span<const char* const> words, std::initializer_list<Option> allowed) {
    Arguments a;
    bool options_end = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (options_end || word == "-" || word.empty() || word[0] != '-') {
            a.operands.emplace_back(word);
            continue;
        }
        if (word == "--") {
            options_end = true;
            continue;
        }
        const std::string_view written = word.substr(0, word.find('='));
        const auto spelling = std::find_if(std::begin(spellings), std::end(spellings),
                                           [&](const Spelling& s) { return s.word == written; });
        if (spelling == std::end(spellings) ||
            std::find(allowed.begin(), allowed.end(), spelling->option) == allowed.end()) {
            return Failure("unknown option " + std::string(written));
        }
        std::string value;
        if (!spelling->takes_value) {
            if (written.size() < word.size()) {
                return Failure("option " + std::string(written) + " takes no value");
            }
        } else if (written.size() < word.size()) {
            value = std::string(word.substr(written.size() + 1));
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            return Failure("option " + std::string(written) + " needs a value");
        }
        std::optional<std::string>& slot = a.values[static_cast<std::size_t>(spelling->option)];
        if (slot) {
            return Failure("option " + std::string(spelling_of(spelling->option)) + " is given twice");
        }
        slot = std::move(value);
    }
    return a;
}

}  // namespace bleepforge::tool
