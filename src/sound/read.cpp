// The sound-file reader: nlohmann's SAX parser does the JSON (comments included); this file only
// decides what each member may hold and where in the text a problem lies.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bleepforge/sound.hpp"
#include "members.hpp"

namespace bleepforge {
namespace {

using json = nlohmann::json;
using sound_members::Position;
using sound_members::position_of;

// A pointer into the text that remembers the last character the parser read, so the handler
// knows where each event ends: the parser reads a character, then steps past it.
class TrackingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackingIterator(const char* at, const char** last_read) : at_(at), last_read_(last_read) {}
    reference operator*() const {
        *last_read_ = at_;
        return *at_;
    }
    TrackingIterator& operator++() {
        ++at_;
        return *this;
    }
    TrackingIterator operator++(int) {
        TrackingIterator before = *this;
        ++at_;
        return before;
    }
    bool operator==(const TrackingIterator& other) const { return at_ == other.at_; }
    bool operator!=(const TrackingIterator& other) const { return at_ != other.at_; }

private:
    const char* at_;
    const char** last_read_;
};

// The opening quote of the string whose closing quote is at close: the nearest quote before it
// that no odd run of backslashes escapes.
std::size_t opening_quote(std::string_view text, std::size_t close) {
    for (std::size_t i = close; i-- > 0;) {
        if (text[i] == '"') {
            std::size_t slashes = 0;
            for (std::size_t j = i; j > 0 && text[j - 1] == '\\'; --j) {
                ++slashes;
            }
            if (slashes % 2 == 0) {
                return i;
            }
        }
    }
    return 0;
}

enum class Member { version, preset, chip, number, unknown };

struct MemberSeen {
    std::string name;
    Position where;
};

std::string in_quotes(std::string_view word) {
    return sound_members::quoted(word);
}

std::string word_list(std::span<const std::string_view> words) {
    std::string list;
    for (std::size_t i = 0; i < words.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + std::string(words[i]);
    }
    return list;
}

std::vector<std::string_view> member_names() {
    std::vector<std::string_view> names{"bleepforge", "preset", "chip"};
    for (const SoundField& field : sound_fields()) {
        names.push_back(field.name);
    }
    return names;
}

class Handler {
public:
    explicit Handler(std::string_view text) : text_(text), names_(member_names()) {}

    const char* last_read = nullptr;

    // What the members gave, before they are applied to the starting point.
    bool version_seen = false;
    double version = 0.0;
    std::vector<SoundProblem> newer_members;  // members of format 2, refused where the file says 1
    std::optional<SfxPreset> preset;
    ChipType chip = ChipType::nes;
    std::vector<std::optional<double>> numbers = std::vector<std::optional<double>>(sound_fields().size());
    std::vector<SoundProblem> problems;

    bool null() { return scalar("null"); }
    bool boolean(bool) { return scalar("true or false"); }
    bool number_integer(std::int64_t value) {
        return number(static_cast<double>(value), std::to_string(value));
    }
    bool number_unsigned(std::uint64_t value) {
        return number(static_cast<double>(value), std::to_string(value));
    }
    bool number_float(double, const std::string& text) {
        const std::optional<double> value = sound_members::parse_number(text);
        return number(value.value_or(std::numeric_limits<double>::infinity()), text);
    }
    bool string(std::string& value);
    bool binary(json::binary_t&) { return scalar("binary data"); }
    bool start_object(std::size_t) { return open("an object"); }
    bool start_array(std::size_t) { return open("an array"); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(std::string& name);
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error);

private:
    void problem(ProblemKind kind, std::string message) {
        problems.push_back(
            {current_.where.line, current_.where.column, current_.name, std::move(message), kind});
    }
    bool scalar(std::string_view type);
    bool number(double value, const std::string& text);
    bool open(std::string_view type);
    bool close();
    void wrong_type(std::string_view type);

    std::string_view text_;
    std::vector<std::string_view> names_;
    int depth_ = 0;
    std::vector<MemberSeen> seen_;
    MemberSeen current_;
    Member kind_ = Member::unknown;
    std::size_t field_ = 0;
};

bool Handler::key(std::string& name) {
    if (depth_ != 1) {
        return true;  // inside a value that is already wrong
    }
    const auto close = static_cast<std::size_t>(last_read - text_.data());
    current_ = {name, position_of(text_, opening_quote(text_, close))};
    const auto first =
        std::find_if(seen_.begin(), seen_.end(), [&](const MemberSeen& m) { return m.name == name; });
    const auto known = std::find(names_.begin(), names_.end(), name);
    if (first != seen_.end()) {
        problem(ProblemKind::member, in_quotes(name) + " is given twice (first on line " +
                                         std::to_string(first->where.line) + ")");
        kind_ = Member::unknown;
    } else if (known == names_.end()) {
        const std::string_view guess = sound_members::closest_word(name, names_);
        problem(ProblemKind::member, "unknown member " + in_quotes(name) +
                                         (guess.empty() ? "" : " (did you mean " + in_quotes(guess) + "?)"));
        kind_ = Member::unknown;
    } else {
        const auto index = static_cast<std::size_t>(known - names_.begin());
        kind_ = index == 0   ? Member::version
                : index == 1 ? Member::preset
                : index == 2 ? Member::chip
                             : Member::number;
        field_ = index - 3;
    }
    seen_.push_back(current_);
    return true;
}

void Handler::wrong_type(std::string_view type) {
    switch (kind_) {
    case Member::version:
    case Member::number:
        problem(ProblemKind::type, in_quotes(current_.name) + " must be a number, not " + std::string(type));
        break;
    case Member::preset:
    case Member::chip:
        problem(ProblemKind::type,
                in_quotes(current_.name) + " must be a word in quotes, not " + std::string(type));
        break;
    case Member::unknown:
        break;
    }
}

bool Handler::scalar(std::string_view type) {
    if (depth_ == 1) {
        wrong_type(type);
        if (kind_ == Member::version) {
            version_seen = true;
        }
    } else if (depth_ == 0) {
        return open(type);
    }
    return true;
}

bool Handler::number(double value, const std::string& text) {
    if (depth_ != 1) {
        return depth_ > 1 || open("a number");
    }
    if (kind_ == Member::version) {
        version_seen = true;
        version = value;
        // Any spelling of the numbers (1.0 and 1e0 too), as a JSON Schema's integer takes them.
        if (value != 1.0 && value != 2.0) {
            problem(ProblemKind::range, "\"bleepforge\" is " + sound_members::excerpt(text) +
                                            ", but this build reads sound files of versions 1 and 2");
        }
    } else if (kind_ == Member::number) {
        const SoundField& field = sound_fields()[field_];
        if (field.version > 1) {
            newer_members.push_back(
                {current_.where.line, current_.where.column, current_.name,
                 in_quotes(field.name) + " is a member of format 2: the file says \"bleepforge\": 1",
                 ProblemKind::member});
        }
        if (auto message = sound_members::range_problem(field, value)) {
            // Beyond a double's range the text says more than "inf".
            problem(ProblemKind::range, std::isinf(value)
                                            ? in_quotes(field.name) + " is " + sound_members::excerpt(text) +
                                                  ", too large for a number"
                                            : std::move(*message));
        } else {
            numbers[field_] = value;
        }
    } else {
        wrong_type("a number");
    }
    return true;
}

bool Handler::string(std::string& value) {
    if (depth_ != 1) {
        return depth_ > 1 || open("a string");
    }
    if (kind_ == Member::preset || kind_ == Member::chip) {
        const bool is_preset = kind_ == Member::preset;
        const std::span<const std::string_view> words = is_preset
                                                            ? std::span<const std::string_view>(preset_words)
                                                            : std::span<const std::string_view>(chip_words);
        const auto found = std::find(words.begin(), words.end(), value);
        if (found != words.end()) {
            const auto index = static_cast<std::int32_t>(found - words.begin());
            if (is_preset) {
                preset = static_cast<SfxPreset>(index);
            } else {
                chip = static_cast<ChipType>(index);
            }
            return true;
        }
        // A near spelling, else what the program's forgiving matching makes of the word ("gb",
        // "shoot"), unless that is only its fall-back.
        std::string_view guess = sound_members::closest_word(value, words);
        const auto forgiving = is_preset ? static_cast<std::size_t>(parse_preset(value))
                                         : static_cast<std::size_t>(parse_chip(value));
        const std::size_t fallback = is_preset ? static_cast<std::size_t>(SfxPreset::game_over)
                                               : static_cast<std::size_t>(ChipType::nes);
        if (guess.empty() && forgiving != fallback) {
            guess = words[forgiving];
        }
        problem(ProblemKind::range, in_quotes(current_.name) + " is " + in_quotes(value) + ", not one of " +
                                        word_list(words) +
                                        (guess.empty() ? "" : " (did you mean " + in_quotes(guess) + "?)"));
    } else {
        wrong_type("a string");
        if (kind_ == Member::version) {
            version_seen = true;
        }
    }
    return true;
}

bool Handler::open(std::string_view type) {
    if (depth_ == 0) {
        if (type != "an object") {
            current_ = {"", {1, 1}};
            problem(ProblemKind::syntax, "a sound file holds one object, { ... }, not " + std::string(type));
            return false;
        }
    } else if (depth_ == 1) {
        wrong_type(type);
        if (kind_ == Member::version) {
            version_seen = true;
        }
    }
    ++depth_;
    return true;
}

bool Handler::close() {
    --depth_;
    return true;
}

bool Handler::parse_error(std::size_t position, const std::string&,
                          const nlohmann::detail::exception& error) {
    // nlohmann's message: "[json.exception.parse_error.101] parse error at line L, column C: WHY"
    // or, for a number beyond a double, "[json.exception.out_of_range.406] number overflow ...".
    std::string why = error.what();
    why = why.substr(why.find("] ") == std::string::npos ? 0 : why.find("] ") + 2);
    const std::size_t column = why.find(", column ");
    if (why.starts_with("parse error") && column != std::string::npos &&
        why.find(": ", column) != std::string::npos) {
        why = why.substr(why.find(": ", column) + 2);
    }
    if (error.id == 406 && depth_ == 1 && kind_ == Member::number) {
        const std::size_t open_quote = why.find('\'');
        const std::size_t close_quote = why.rfind('\'');
        const std::string number =
            open_quote < close_quote ? why.substr(open_quote + 1, close_quote - open_quote - 1) : "";
        problem(ProblemKind::range, in_quotes(current_.name) + " is " + sound_members::excerpt(number) +
                                        ", too large for a number");
        return false;
    }
    const std::size_t offset = std::min(position > 0 ? position - 1 : 0, text_.size());
    problems.push_back(sound_members::syntax_problem(text_, offset, why));
    return false;
}

}  // namespace

SoundReading read_sound(std::string_view text) {
    if (text.size() > max_sound_file_size) {
        return {std::nullopt,
                {{0, 0, "", "is larger than a sound file can be (1 MiB)", ProblemKind::syntax}}};
    }
    if (std::optional<SoundProblem> problem = sound_members::text_problem(text)) {
        return {std::nullopt, {std::move(*problem)}};
    }
    Handler handler(text);
    const TrackingIterator first(text.data(), &handler.last_read);
    const TrackingIterator last(text.data() + text.size(), &handler.last_read);
    const bool parsed = json::sax_parse(first, last, &handler, nlohmann::detail::input_format_t::json,
                                        /*strict=*/true, /*ignore_comments=*/true);
    if (parsed && !handler.version_seen) {
        handler.problems.push_back({0, 0, "bleepforge",
                                    "the format version is missing: a sound file holds \"bleepforge\": 2",
                                    ProblemKind::member});
    }
    if (handler.version == 1.0 && !handler.newer_members.empty()) {
        handler.problems.insert(handler.problems.end(), handler.newer_members.begin(),
                                handler.newer_members.end());
        // Every problem in the order of the text; those without a place last.
        std::stable_sort(handler.problems.begin(), handler.problems.end(),
                         [](const SoundProblem& a, const SoundProblem& b) {
                             const auto key = [](const SoundProblem& p) {
                                 return std::pair(p.line == 0 ? SIZE_MAX : p.line, p.column);
                             };
                             return key(a) < key(b);
                         });
    }
    if (!handler.problems.empty()) {
        return {std::nullopt, std::move(handler.problems)};
    }
    Sound sound = handler.preset ? make_sound(*handler.preset, handler.chip) : default_sound(handler.chip);
    const std::span<const SoundField> fields = sound_fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (handler.numbers[i]) {
            sound_members::set_value(sound, fields[i], *handler.numbers[i]);
        }
    }
    return {sound, {}};
}

}  // namespace bleepforge
