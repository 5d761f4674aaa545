// What the reader says about text that is not a sound file's JSON: in words about the user's
// file (a trailing comma, single quotes, a missing comma), not the parser's.
#include <cstdint>
#include <cstdio>
#include <string>

#include "members.hpp"

namespace bleepforge::sound_members {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool is_delimiter(char c) {
    return is_space(c) || c == ',' || c == ':' || c == '{' || c == '}' || c == '[' || c == ']' || c == '"';
}

// The length of the well-formed UTF-8 sequence at text[i], or 0 when it is not one (an overlong
// form, a surrogate, a value beyond U+10FFFF, a stray continuation byte or a cut sequence).
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    std::size_t length = 0;
    std::uint32_t low = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        low = 0x80;
        code = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = 0x800;
        code = lead & 0x0FU;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = 0x10000;
        code = lead & 0x07U;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0U) != 0x80U) {
            return 0;
        }
        code = (code << 6U) | (byte(i + k) & 0x3FU);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < low || surrogate || code > 0x10FFFF ? 0 : length;
}

// The indices of the significant characters before end: neither white space nor inside a comment.
// Strings count as one character, their opening quote.
struct Scan {
    std::size_t last = npos;         // the last significant character before end
    std::size_t before_last = npos;  // the one before it
    bool any = false;
};

Scan scan_to(std::string_view text, std::size_t end) {
    Scan scan;
    auto note = [&](std::size_t i) {
        scan.before_last = scan.last;
        scan.last = i;
        scan.any = true;
    };
    for (std::size_t i = 0; i < end && i < text.size();) {
        const char c = text[i];
        if (is_space(c)) {
            ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            const std::size_t line_end = text.find('\n', i);
            i = line_end == npos ? text.size() : line_end + 1;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const std::size_t close = text.find("*/", i + 2);
            i = close == npos ? text.size() : close + 2;
        } else if (c == '"') {
            note(i);
            for (++i; i < end && i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\') {
                    ++i;
                }
            }
            ++i;
        } else {
            note(i);
            ++i;
        }
    }
    return scan;
}

// The word of text that starts at start: up to the next delimiter, or for a single-quoted string
// up to its closing quote on the same line.
std::string_view word_at(std::string_view text, std::size_t start) {
    std::size_t end = start;
    if (start < text.size() && text[start] == '\'') {
        end = text.find_first_of("'\n", start + 1);
        end = end == npos || text[end] == '\n' ? end : end + 1;
    } else {
        while (end < text.size() && !is_delimiter(text[end])) {
            ++end;
        }
    }
    return text.substr(start, (end == npos ? text.size() : end) - start);
}

// 'laser' as the message that asks for "laser".
std::string single_quotes(std::string_view word) {
    std::string_view inner = word.substr(1);
    if (!inner.empty() && inner.back() == '\'') {
        inner.remove_suffix(1);
    }
    return "strings are written in double quotes: " + quoted(inner) + ", not '" + excerpt(inner) + "'";
}

// Where the word the parser stopped in starts: after the last delimiter before offset.
std::size_t start_of_word(std::string_view text, std::size_t offset) {
    while (offset > 0 && !is_delimiter(text[offset - 1])) {
        --offset;
    }
    return offset;
}

// What the parser said, without its own prefix and without echoing the text it last read.
std::string_view parser_words(std::string_view message) {
    if (const std::size_t dash = message.find(" - "); message.starts_with("syntax error") && dash != npos) {
        message.remove_prefix(dash + 3);
    }
    if (const std::size_t echo = message.find("; last read"); echo != npos) {
        message = message.substr(0, echo);
    }
    return message;
}

SoundProblem at(std::string_view text, std::size_t offset, std::string message) {
    const Position p = position_of(text, offset);
    return {p.line, p.column, "", std::move(message), ProblemKind::syntax};
}

}  // namespace

Position position_of(std::string_view text, std::size_t offset) {
    Position p{1, 1};
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++p.line;
            p.column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0U) != 0x80U) {
            ++p.column;
        }
    }
    return p;
}

namespace {

constexpr std::size_t shown_bytes = 60;

// The first shown_bytes of text, not cutting a character in two.
std::string_view head_of(std::string_view text) {
    std::size_t cut = shown_bytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0U) == 0x80U) {
        --cut;
    }
    return text.substr(0, cut);
}

std::string length_of(std::string_view text) {
    std::size_t characters = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) {
            ++characters;  // not a continuation byte: a character starts here
        }
    }
    return " (" + std::to_string(characters) + " characters)";
}

}  // namespace

std::string excerpt(std::string_view text) {
    if (text.size() <= shown_bytes) {
        return std::string(text);
    }
    return std::string(head_of(text)) + "..." + length_of(text);
}

std::string quoted(std::string_view text) {
    if (text.size() <= shown_bytes) {
        return "\"" + std::string(text) + "\"";
    }
    return "\"" + std::string(head_of(text)) + "...\"" + length_of(text);
}

std::optional<SoundProblem> text_problem(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool control = (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
        const std::size_t length = control ? 0 : utf8_length(text, i);
        if (length == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(c));
            return at(
                text, i,
                std::string("the file is not text: a sound file is UTF-8 text, and this byte is ") + hex);
        }
        i += length;
    }
    if (!scan_to(text, text.size()).any) {
        return SoundProblem{0, 0, "",
                            "the file is empty: a sound file holds one object, { \"bleepforge\": 1, ... }",
                            ProblemKind::syntax};
    }
    return std::nullopt;
}

SoundProblem syntax_problem(std::string_view text, std::size_t offset, std::string_view parser_message) {
    const bool at_end = offset >= text.size();
    const char c = at_end ? '\0' : text[offset];
    const Scan before = scan_to(text, offset);
    const char previous = before.last == npos ? '\0' : text[before.last];
    const auto says = [&](std::string_view words) { return parser_message.find(words) != npos; };

    if (at_end || says("unexpected end of input")) {
        return at(text, text.size(), "the file ends before the object is closed: a } is missing");
    }
    if ((c == '}' || c == ']') && previous == ',') {
        return at(text, before.last,
                  std::string("trailing comma after the last ") + (c == '}' ? "member" : "value"));
    }
    if (c == ',' && (previous == ',' || previous == '{' || previous == '[')) {
        return at(text, offset, previous == ',' ? "two commas in a row" : "a comma before the first member");
    }
    if (c == '\'') {
        return at(text, offset, single_quotes(word_at(text, offset)));
    }
    if (says("expected end of input")) {
        return at(text, offset, "text after the end of the object: a sound file holds one object");
    }
    if (says("unexpected string literal") && c == '"' && before.last != npos) {
        // The parser stands at the string's closing quote; the member starts at its opening one.
        const char before_string = before.before_last == npos ? '\0' : text[before.before_last];
        if (before_string != ',' && before_string != '{') {
            return at(text, before.last, "a comma is missing before this member");
        }
    }
    if (says("invalid literal") || says("invalid number")) {
        const std::size_t word_start = start_of_word(text, offset);
        const std::string_view word = word_at(text, word_start);
        if (!word.empty() && word[0] == '\'') {
            return at(text, word_start, single_quotes(word));
        }
        return at(text, word_start,
                  quoted(word) + " is not a value: a number, a word in double quotes, true, false or null");
    }
    if (says("control character")) {
        return at(text, offset, "a tab or other control character inside a string must be escaped (\\t)");
    }
    if (c == ':' && previous == ':') {
        return at(text, offset, "two colons in a row");
    }
    if (says("expected ':'")) {
        return at(text, start_of_word(text, offset),
                  "a colon is missing between the member's name and its value");
    }
    return at(text, offset, std::string(parser_words(parser_message)));
}

}  // namespace bleepforge::sound_members

namespace bleepforge {

std::string leading_comments(std::string_view text) {
    std::size_t end = 0;  // just past the last comment before the object
    for (std::size_t i = 0; i < text.size();) {
        if (sound_members::is_space(text[i])) {
            ++i;
        } else if (text.substr(i, 2) == "//") {
            const std::size_t line_end = text.find('\n', i);
            i = end = line_end == sound_members::npos ? text.size() : line_end;
        } else if (text.substr(i, 2) == "/*") {
            const std::size_t close = text.find("*/", i + 2);
            i = end = close == sound_members::npos ? text.size() : close + 2;
        } else {
            break;
        }
    }
    std::string block(text.substr(0, end));
    if (!block.empty()) {
        block += '\n';
    }
    return block;
}

}  // namespace bleepforge
