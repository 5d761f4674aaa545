// The rules for the names a C header of ours defines. They live with the exporters that write the
// headers; the sound reader uses them too, for a bank's names, which is why they are a library of
// their own below both (src/CMakeLists.txt).
#include <algorithm>
#include <iterator>

#include "bleepforge/export.hpp"

namespace bleepforge {
namespace {

// Every keyword of C23 and of C++20, the alternative tokens of C++ included: a header is compiled
// as either.
constexpr std::string_view reserved_words[] = {
    // C (C23 included)
    "auto",
    "break",
    "case",
    "char",
    "const",
    "continue",
    "default",
    "do",
    "double",
    "else",
    "enum",
    "extern",
    "float",
    "for",
    "goto",
    "if",
    "inline",
    "int",
    "long",
    "register",
    "restrict",
    "return",
    "short",
    "signed",
    "sizeof",
    "static",
    "struct",
    "switch",
    "typedef",
    "union",
    "unsigned",
    "void",
    "volatile",
    "while",
    "bool",
    "true",
    "false",
    "nullptr",
    "alignas",
    "alignof",
    "constexpr",
    "static_assert",
    "thread_local",
    "typeof",
    "typeof_unqual",
    "_Alignas",
    "_Alignof",
    "_Atomic",
    "_BitInt",
    "_Bool",
    "_Complex",
    "_Decimal128",
    "_Decimal32",
    "_Decimal64",
    "_Generic",
    "_Imaginary",
    "_Noreturn",
    "_Static_assert",
    "_Thread_local",
    // C++ beyond C
    "and",
    "and_eq",
    "asm",
    "bitand",
    "bitor",
    "catch",
    "char8_t",
    "char16_t",
    "char32_t",
    "class",
    "compl",
    "concept",
    "const_cast",
    "consteval",
    "constinit",
    "co_await",
    "co_return",
    "co_yield",
    "decltype",
    "delete",
    "dynamic_cast",
    "explicit",
    "export",
    "friend",
    "mutable",
    "namespace",
    "new",
    "noexcept",
    "not",
    "not_eq",
    "operator",
    "or",
    "or_eq",
    "private",
    "protected",
    "public",
    "reinterpret_cast",
    "requires",
    "static_cast",
    "template",
    "this",
    "throw",
    "try",
    "typeid",
    "typename",
    "using",
    "virtual",
    "wchar_t",
    "xor",
    "xor_eq",
};

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// What follows "<prefix>_" in the names a header defines for itself, in the header's order.
constexpr std::string_view sound_header_words[] = {"H", "sample_rate", "num_samples", "pcm"};
constexpr std::string_view bank_header_words[] = {"H", "sample_rate", "id", "count", "sound", "sounds"};
// What follows "<prefix>_<name>" in a bank's names for one sound: the enum constant, the array and
// its length.
constexpr std::string_view bank_sound_words[] = {"", "_pcm", "_num_samples"};

std::string joined(std::string_view prefix, std::string_view word) {
    std::string name(prefix);
    name += '_';
    name += word;
    return name;
}

}  // namespace

bool is_header_name(std::string_view name) {
    if (name.empty() || !(is_ascii_letter(name[0]) || name[0] == '_')) {
        return false;
    }
    const bool word_characters = std::all_of(name.begin(), name.end(), [](char c) {
        return is_ascii_letter(c) || (c >= '0' && c <= '9') || c == '_';
    });
    return word_characters &&
           std::find(std::begin(reserved_words), std::end(reserved_words), name) == std::end(reserved_words);
}

std::vector<HeaderSymbol> header_symbols(std::string_view prefix) {
    std::vector<HeaderSymbol> symbols;
    for (const std::string_view word : sound_header_words) {
        symbols.push_back({joined(prefix, word), {}});
    }
    return symbols;
}

std::vector<HeaderSymbol> header_symbols(std::string_view prefix, std::span<const std::string_view> names) {
    std::vector<HeaderSymbol> symbols;
    symbols.reserve(std::size(bank_header_words) + std::size(bank_sound_words) * names.size());
    for (const std::string_view word : bank_header_words) {
        symbols.push_back({joined(prefix, word), {}});
    }
    for (const std::string_view name : names) {
        const std::string stem = joined(prefix, name);
        for (const std::string_view word : bank_sound_words) {
            symbols.push_back({stem + std::string(word), std::string(name)});
        }
    }
    return symbols;
}

std::vector<SymbolClash> header_symbol_clashes(std::span<const HeaderSymbol> symbols) {
    std::vector<SymbolClash> clashes;
    std::vector<const HeaderSymbol*> defined;  // each name defined so far, in order
    bool reported = false;  // whether the sound at hand has its clash already; its names come together
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        const HeaderSymbol& symbol = symbols[i];
        reported = reported && symbol.sound == symbols[i - 1].sound;
        if (reported) {
            continue;
        }
        const auto earlier = std::find_if(defined.begin(), defined.end(),
                                          [&](const HeaderSymbol* d) { return d->name == symbol.name; });
        const bool repeat = earlier != defined.end();
        if (!repeat && is_header_name(symbol.name)) {
            defined.push_back(&symbol);
            continue;
        }
        clashes.push_back({symbol.name, symbol.sound, repeat ? (*earlier)->sound : std::string(), !repeat});
        reported = true;
    }
    return clashes;
}

}  // namespace bleepforge
