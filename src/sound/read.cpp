// The sound-file reader: nlohmann's SAX parser does the JSON (comments included); this file only
// decides what each member may hold and where in the text a problem lies.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "bleepforge/export.hpp"
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

// What is being read: a sound (a file's, or a bank's entry), a layer of one, a sound's list of
// layers, a bank, a bank's map of entries, or a value already reported as wrong, skipped whole.
enum class Scope { sound, layer, layers, bank, entries, skipped };

// What the member whose value comes next means in its object.
enum class Role { none, version, preset, chip, hardware, number, layer_number, layers, sounds, entry };

// The names each object holds, the number members after the words.
std::vector<std::string_view> names_of(Scope scope) {
    std::vector<std::string_view> names;
    if (scope == Scope::bank) {
        return {"bleepforge", "sounds"};
    }
    if (scope == Scope::sound) {
        names.push_back("bleepforge");
    }
    names.insert(names.end(), {"preset", "chip", "hardware"});
    for (const SoundField& field : sound_fields()) {
        names.push_back(field.name);
    }
    if (scope == Scope::sound) {
        names.push_back("layers");
    } else {
        for (const SoundField& field : layer_fields()) {
            names.push_back(field.name);
        }
    }
    return names;
}

// One object or array being read, with everything its members gave.
struct Reading {
    Scope scope = Scope::skipped;
    std::string prefix;  // how its members are named in messages: "", "layers[2].", "zap."
    bool root = false;
    std::vector<std::string_view> names;
    std::vector<MemberSeen> seen;
    Role role = Role::none;
    std::size_t field = 0;
    MemberSeen current;
    int skipped_depth = 0;

    // A sound or a layer.
    bool version_seen = false;
    double version = 0.0;
    std::optional<SfxPreset> preset;
    ChipType chip = ChipType::nes;
    std::optional<bool> hardware;
    MemberSeen hardware_at;
    std::vector<std::optional<double>> numbers;
    std::array<std::optional<double>, 2> layer_numbers;
    std::vector<MemberSeen> own_members;  // what a layered sound may not hold
    std::optional<MemberSeen> layers_key;
    std::vector<Layer> layers;

    // A list of layers: how many elements so far. A bank's entries.
    std::size_t count = 0;
    std::vector<BankEntry> entries;
    std::vector<Position> entry_places;
};

class Handler {
public:
    Handler(std::string_view text, bool reads_bank) : text_(text), bank_(reads_bank) {}

    const char* last_read = nullptr;
    std::vector<SoundProblem> problems;
    std::vector<std::string> problem_entries;  // for a bank: the entry of each problem
    std::optional<Sound> sound;                // the root sound, once read
    std::optional<Bank> bank;                  // the root bank, once read
    std::vector<Position> entry_places;
    bool version_seen = false;
    double version = 0.0;  // the file's, once seen

    // A member that came with a later format than the first, named as in messages.
    struct Versioned {
        MemberSeen member;
        int version;
        std::string entry;
    };
    std::vector<Versioned> versioned;

    bool null() { return value("null"); }
    bool boolean(bool v);
    bool number_integer(std::int64_t v) { return number(static_cast<double>(v), std::to_string(v)); }
    bool number_unsigned(std::uint64_t v) { return number(static_cast<double>(v), std::to_string(v)); }
    bool number_float(double, const std::string& text) {
        const std::optional<double> v = sound_members::parse_number(text);
        return number(v.value_or(std::numeric_limits<double>::infinity()), text);
    }
    bool string(std::string& text);
    bool binary(json::binary_t&) { return value("binary data"); }
    bool start_object(std::size_t) { return open(true); }
    bool start_array(std::size_t) { return open(false); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(std::string& name);
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error);

private:
    Reading& top() { return stack_.back(); }
    void problem(ProblemKind kind, std::string message) { problem_in(top(), kind, std::move(message)); }
    // A problem at the member of r its reading stands at.
    void problem_in(const Reading& r, ProblemKind kind, std::string message) {
        problems.push_back({r.current.where.line, r.current.where.column, r.prefix + r.current.name,
                            std::move(message), kind});
        problem_entries.push_back(entry_of(r));
    }
    std::string entry_of(const Reading& r) const {
        return bank_ && !r.prefix.empty() ? r.prefix.substr(0, r.prefix.find_first_of(".[")) : std::string();
    }
    std::string shown(const Reading& r) const { return in_quotes(r.prefix + r.current.name); }
    Position here() const { return position_of(text_, static_cast<std::size_t>(last_read - text_.data())); }
    bool value(std::string_view type);
    bool number(double v, const std::string& text);
    bool open(bool object);
    bool close();
    void wrong_type(std::string_view type);
    void entry_key(Reading& r, const std::string& name);
    void unknown_member(const Reading& r, const std::string& name);
    void member_key(Reading& r, const std::string& name);
    Sound finish_sound(Reading& r);

    std::string_view text_;
    bool bank_;
    std::vector<Reading> stack_;
};

// A new object to read; its members are named after the prefix.
Reading reading(Scope scope, std::string prefix, Position where) {
    Reading r;
    r.scope = scope;
    r.prefix = std::move(prefix);
    r.names = scope == Scope::skipped ? std::vector<std::string_view>{} : names_of(scope);
    r.numbers.resize(sound_fields().size());
    r.current = {"", where};
    return r;
}

bool Handler::key(std::string& name) {
    if (stack_.empty() || top().scope == Scope::skipped || top().scope == Scope::layers) {
        return true;  // inside a value that is already wrong
    }
    Reading& r = top();
    const auto close_at = static_cast<std::size_t>(last_read - text_.data());
    r.current = {name, position_of(text_, opening_quote(text_, close_at))};
    r.role = Role::none;
    const auto first =
        std::find_if(r.seen.begin(), r.seen.end(), [&](const MemberSeen& m) { return m.name == name; });
    if (first != r.seen.end()) {
        problem(ProblemKind::member,
                shown(r) + " is given twice (first on line " + std::to_string(first->where.line) + ")");
        r.seen.push_back(r.current);
        return true;
    }
    r.seen.push_back(r.current);
    if (r.scope == Scope::entries) {
        entry_key(r, name);
        return true;
    }
    if (std::find(r.names.begin(), r.names.end(), name) == r.names.end()) {
        unknown_member(r, name);
    } else {
        member_key(r, name);
    }
    return true;
}

// A member this object does not hold: what it is instead, or the closest word it may have meant.
void Handler::unknown_member(const Reading& r, const std::string& name) {
    if (r.scope == Scope::layer && name == "bleepforge") {
        problem(ProblemKind::member, shown(r) + ": the format version stays at the top of the file");
    } else if (r.scope == Scope::layer && name == "layers") {
        problem(ProblemKind::member, shown(r) + ": a layer holds no layers of its own");
    } else if (r.root && name == "sounds") {
        problem(ProblemKind::member,
                shown(r) +
                    " is a bank's member: this is a bank, not a sound file, and is read as one "
                    "from a file named *.bleepbank");
    } else {
        const std::string_view guess = sound_members::closest_word(name, r.names);
        problem(
            ProblemKind::member,
            "unknown member " + shown(r) +
                (guess.empty() ? "" : " (did you mean " + in_quotes(r.prefix + std::string(guess)) + "?)"));
    }
}

// A member this object holds: the role its value plays, and the format version it needs.
void Handler::member_key(Reading& r, const std::string& name) {
    if (name == "bleepforge") {
        r.role = Role::version;
        return;
    }
    if (r.scope == Scope::bank) {
        r.role = Role::sounds;
        return;
    }
    if (name == "layers") {
        r.role = Role::layers;
        r.layers_key = r.current;
        versioned.push_back({{r.prefix + name, r.current.where}, 2, entry_of(r)});
        return;
    }
    r.own_members.push_back(r.current);
    if (name == "preset" || name == "chip") {
        r.role = name == "preset" ? Role::preset : Role::chip;
        return;
    }
    if (name == "hardware") {
        r.role = Role::hardware;
        r.hardware_at = r.current;
        versioned.push_back({{r.prefix + name, r.current.where}, 3, entry_of(r)});
        return;
    }
    const std::span<const SoundField> fields = sound_fields();
    const auto field =
        std::find_if(fields.begin(), fields.end(), [&](const SoundField& f) { return f.name == name; });
    if (field != fields.end()) {
        r.role = Role::number;
        r.field = static_cast<std::size_t>(field - fields.begin());
        if (field->version > 1) {
            versioned.push_back({{r.prefix + name, r.current.where}, field->version, entry_of(r)});
        }
    } else {
        r.role = Role::layer_number;
        r.field = name == layer_fields()[0].name ? 0 : 1;
        r.own_members.pop_back();
    }
}

// A bank's entry name is a header name (export.hpp): the header's symbols for the sound are made of it.
void Handler::entry_key(Reading& r, const std::string& name) {
    r.role = Role::entry;
    if (!is_header_name(name)) {
        problem(ProblemKind::range,
                "the sound's name " + in_quotes(name) +
                    " is not a C identifier (letters, digits and _, not starting with a digit; "
                    "not a keyword), which a header's symbols need");
    }
}

void Handler::wrong_type(std::string_view type) {
    Reading& r = top();
    switch (r.role) {
    case Role::version:
    case Role::number:
    case Role::layer_number:
        problem(ProblemKind::type, shown(r) + " must be a number, not " + std::string(type));
        break;
    case Role::preset:
    case Role::chip:
        problem(ProblemKind::type, shown(r) + " must be a word in quotes, not " + std::string(type));
        break;
    case Role::hardware:
        problem(ProblemKind::type, shown(r) + " must be true or false, not " + std::string(type));
        break;
    case Role::layers:
        problem(ProblemKind::type,
                shown(r) + " must be a list of sounds, [ {...}, ... ], not " + std::string(type));
        r.layers_key.reset();  // already wrong: no count to check
        break;
    case Role::sounds:
        problem(ProblemKind::type,
                shown(r) + " must be an object of named sounds, { \"zap\": ... }, not " + std::string(type));
        break;
    case Role::entry:
        problem(ProblemKind::type, shown(r) +
                                       " must be a sound, { ... }, or a sound file's path in quotes, not " +
                                       std::string(type));
        break;
    case Role::none:
        break;
    }
    if (r.role == Role::version) {
        r.version_seen = true;
    }
    r.role = Role::none;
}

bool Handler::value(std::string_view type) {
    if (stack_.empty()) {
        stack_.push_back(reading(Scope::skipped, "", {1, 1}));
        problem(ProblemKind::syntax, std::string(bank_ ? "a bank" : "a sound file") +
                                         " holds one object, { ... }, not " + std::string(type));
        return false;
    }
    Reading& r = top();
    if (r.scope == Scope::skipped) {
        return true;
    }
    if (r.scope == Scope::layers) {
        r.current = {"layers[" + std::to_string(r.count++) + "]", here()};
        problem(ProblemKind::type, shown(r) + " must be a sound, { ... }, not " + std::string(type));
        return true;
    }
    wrong_type(type);
    return true;
}

bool Handler::number(double v, const std::string& text) {
    if (stack_.empty() || top().scope == Scope::skipped || top().scope == Scope::layers) {
        return value("a number");
    }
    Reading& r = top();
    if (r.role == Role::version) {
        r.version_seen = true;
        r.version = v;
        // Any spelling of the numbers (1.0 and 1e0 too), as a JSON Schema's integer takes them.
        if (bank_ && r.scope == Scope::bank && v != 2.0 && v != 3.0) {
            problem(ProblemKind::range, shown(r) + " is " + sound_members::excerpt(text) +
                                            ", but a bank is a file of format 2 or 3: \"bleepforge\": 3");
        } else if (v != 1.0 && v != 2.0 && v != 3.0) {
            problem(ProblemKind::range, shown(r) + " is " + sound_members::excerpt(text) +
                                            ", but this build reads sound files of versions 1 to 3");
        }
    } else if (r.role == Role::number || r.role == Role::layer_number) {
        const SoundField& field = r.role == Role::number ? sound_fields()[r.field] : layer_fields()[r.field];
        if (auto message = sound_members::range_problem(field, v, r.prefix)) {
            // Beyond a double's range the text says more than "inf".
            problem(ProblemKind::range, std::isinf(v) ? shown(r) + " is " + sound_members::excerpt(text) +
                                                            ", too large for a number"
                                                      : std::move(*message));
        } else if (r.role == Role::number) {
            r.numbers[r.field] = v;
        } else {
            r.layer_numbers[r.field] = v;
        }
    } else {
        wrong_type("a number");
    }
    r.role = Role::none;
    return true;
}

bool Handler::boolean(bool v) {
    if (stack_.empty() || top().scope == Scope::skipped || top().scope == Scope::layers ||
        top().role != Role::hardware) {
        return value("true or false");
    }
    top().hardware = v;
    top().role = Role::none;
    return true;
}

bool Handler::string(std::string& text) {
    if (stack_.empty() || top().scope == Scope::skipped || top().scope == Scope::layers) {
        return value("a string");
    }
    Reading& r = top();
    if (r.role == Role::entry) {
        r.entries.push_back({r.current.name, Sound{}, text});
        r.entry_places.push_back(r.current.where);
        if (text.empty()) {
            problem(ProblemKind::range, shown(r) + " names no sound file: the path is empty");
        }
        r.role = Role::none;
        return true;
    }
    if (r.role != Role::preset && r.role != Role::chip) {
        wrong_type("a string");
        return true;
    }
    const bool is_preset = r.role == Role::preset;
    const std::span<const std::string_view> words = is_preset
                                                        ? std::span<const std::string_view>(preset_words)
                                                        : std::span<const std::string_view>(chip_words);
    const auto found = std::find(words.begin(), words.end(), text);
    if (found != words.end()) {
        const auto index = static_cast<std::int32_t>(found - words.begin());
        if (is_preset) {
            r.preset = static_cast<SfxPreset>(index);
        } else {
            r.chip = static_cast<ChipType>(index);
        }
        r.role = Role::none;
        return true;
    }
    // A near spelling, else what the program's forgiving matching makes of the word ("gb",
    // "shoot"), unless that is only its fall-back.
    std::string_view guess = sound_members::closest_word(text, words);
    const auto forgiving =
        is_preset ? static_cast<std::size_t>(parse_preset(text)) : static_cast<std::size_t>(parse_chip(text));
    const std::size_t fallback =
        is_preset ? static_cast<std::size_t>(SfxPreset::game_over) : static_cast<std::size_t>(ChipType::nes);
    if (guess.empty() && forgiving != fallback) {
        guess = words[forgiving];
    }
    problem(ProblemKind::range, shown(r) + " is " + in_quotes(text) + ", not one of " + word_list(words) +
                                    (guess.empty() ? "" : " (did you mean " + in_quotes(guess) + "?)"));
    r.role = Role::none;
    return true;
}

bool Handler::open(bool object) {
    const std::string_view type = object ? "an object" : "an array";
    if (stack_.empty()) {
        if (!object) {
            return value(type);
        }
        Reading root = reading(bank_ ? Scope::bank : Scope::sound, "", {1, 1});
        root.root = true;
        stack_.push_back(std::move(root));
        return true;
    }
    Reading& r = top();
    if (r.scope == Scope::skipped) {
        ++r.skipped_depth;
        return true;
    }
    if (r.scope == Scope::layers) {
        const std::string index = "[" + std::to_string(r.count++) + "]";
        if (object) {
            stack_.push_back(reading(Scope::layer, r.prefix + "layers" + index + ".", here()));
        } else {
            r.current = {"layers" + index, here()};
            problem(ProblemKind::type, shown(r) + " must be a sound, { ... }, not an array");
            stack_.push_back(reading(Scope::skipped, "", here()));
        }
        return true;
    }
    if (object && r.role == Role::sounds) {
        stack_.push_back(reading(Scope::entries, "", here()));
        return true;
    }
    if (object && r.role == Role::entry) {
        const std::string name = r.current.name;
        r.entries.push_back({name, Sound{}, ""});
        r.entry_places.push_back(r.current.where);
        stack_.push_back(reading(Scope::sound, name + ".", here()));
        return true;
    }
    if (!object && r.role == Role::layers) {
        Reading list = reading(Scope::layers, r.prefix, here());
        list.current = r.current;
        stack_.push_back(std::move(list));
        return true;
    }
    wrong_type(type);
    stack_.push_back(reading(Scope::skipped, "", here()));
    return true;
}

// A sound or layer read: its problems of structure, then the sound itself.
Sound Handler::finish_sound(Reading& r) {
    if (r.root) {
        version_seen = r.version_seen;
        version = r.version;
    }
    if (r.layers_key) {
        r.current = *r.layers_key;
        if (r.layers.empty() || r.layers.size() > max_layers) {
            problem_in(r, ProblemKind::range,
                       shown(r) + " holds " + std::to_string(r.layers.size()) +
                           " sounds; a layered sound holds 1 to 8");
        }
        for (const MemberSeen& m : r.own_members) {
            r.current = m;
            problem_in(r, ProblemKind::member,
                       shown(r) +
                           ": a sound with layers holds nothing of its own beside them; give "
                           "it to each layer");
        }
        Sound layered;
        layered.layers = std::move(r.layers);
        return layered;
    }
    if (r.hardware.value_or(false) && !has_hardware_model(r.chip)) {
        r.current = r.hardware_at;
        problem_in(r, ProblemKind::range,
                   shown(r) + " is true, but the " +
                       std::string(chip_words[static_cast<std::size_t>(r.chip)]) +
                       " has no hardware model (the nes and the gameboy have one)");
    }
    Sound start = r.preset ? make_sound(*r.preset, r.chip) : default_sound(r.chip);
    const std::span<const SoundField> fields = sound_fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (r.numbers[i]) {
            sound_members::set_value(start, fields[i], *r.numbers[i]);
        }
    }
    start.patch.hardware = r.hardware.value_or(false);
    return start;
}

bool Handler::close() {
    if (stack_.empty()) {
        return true;
    }
    if (top().scope == Scope::skipped && top().skipped_depth > 0) {
        --top().skipped_depth;
        return true;
    }
    Reading done = std::move(top());
    stack_.pop_back();
    Reading* parent = stack_.empty() ? nullptr : &top();
    switch (done.scope) {
    case Scope::skipped:
        break;
    case Scope::layer: {
        Sound layer_sound = finish_sound(done);
        parent->layers.push_back({std::move(layer_sound), done.layer_numbers[0].value_or(0.0),
                                  done.layer_numbers[1].value_or(1.0)});
        break;
    }
    case Scope::layers:
        stack_.back().layers = std::move(done.layers);
        break;
    case Scope::sound: {
        Sound s = finish_sound(done);
        if (done.root) {
            sound = std::move(s);
        } else {
            parent->entries.back().sound = std::move(s);
        }
        break;
    }
    case Scope::entries:
        parent->entries = std::move(done.entries);
        parent->entry_places = std::move(done.entry_places);
        break;
    case Scope::bank:
        version_seen = done.version_seen;
        version = done.version;
        bank = Bank{std::move(done.entries)};
        entry_places = std::move(done.entry_places);
        break;
    }
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
    if (error.id == 406 && !stack_.empty() &&
        (top().role == Role::number || top().role == Role::layer_number)) {
        const std::size_t open_quote = why.find('\'');
        const std::size_t close_quote = why.rfind('\'');
        const std::string number =
            open_quote < close_quote ? why.substr(open_quote + 1, close_quote - open_quote - 1) : "";
        problem(ProblemKind::range,
                shown(top()) + " is " + sound_members::excerpt(number) + ", too large for a number");
        return false;
    }
    const std::size_t offset = std::min(position > 0 ? position - 1 : 0, text_.size());
    problems.push_back(sound_members::syntax_problem(text_, offset, why));
    problem_entries.emplace_back();
    return false;
}

// Every problem in the order of the text; those without a place last.
void order_by_place(std::vector<SoundProblem>& problems, std::vector<std::string>& entries) {
    std::vector<std::size_t> order(problems.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const auto key = [&](std::size_t i) {
        return std::pair(problems[i].line == 0 ? SIZE_MAX : problems[i].line, problems[i].column);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    std::vector<SoundProblem> sorted_problems;
    std::vector<std::string> sorted_entries;
    for (const std::size_t i : order) {
        sorted_problems.push_back(std::move(problems[i]));
        sorted_entries.push_back(std::move(entries[i]));
    }
    problems = std::move(sorted_problems);
    entries = std::move(sorted_entries);
}

// Parses text as a sound file or a bank; the handler holds what it found.
void parse(std::string_view text, Handler& handler) {
    const TrackingIterator first(text.data(), &handler.last_read);
    const TrackingIterator last(text.data() + text.size(), &handler.last_read);
    const bool parsed = json::sax_parse(first, last, &handler, nlohmann::detail::input_format_t::json,
                                        /*strict=*/true, /*ignore_comments=*/true);
    if (parsed && !handler.version_seen) {
        handler.problems.push_back({0, 0, "bleepforge",
                                    "the format version is missing: a sound file holds \"bleepforge\": 3",
                                    ProblemKind::member});
        handler.problem_entries.emplace_back();
    }
    // Members of a later format than the file's own version (a version out of range is its own problem).
    const double file_version = handler.version;
    if (parsed && handler.version_seen && (file_version == 1.0 || file_version == 2.0)) {
        for (const Handler::Versioned& v : handler.versioned) {
            if (v.version <= file_version) {
                continue;
            }
            const bool is_layers = v.member.name.ends_with("layers");
            std::string message = in_quotes(v.member.name);
            message += is_layers ? " came with format " : " is a member of format ";
            message += std::to_string(v.version);
            message += ": the file says \"bleepforge\": ";
            message += std::to_string(static_cast<int>(file_version));
            handler.problems.push_back({v.member.where.line, v.member.where.column, v.member.name,
                                        std::move(message), ProblemKind::member});
            handler.problem_entries.push_back(v.entry);
        }
    }
    order_by_place(handler.problems, handler.problem_entries);
}

std::optional<SoundProblem> too_large(std::string_view text) {
    if (text.size() > max_sound_file_size) {
        return SoundProblem{0, 0, "", "is larger than a sound file can be (1 MiB)", ProblemKind::syntax};
    }
    return sound_members::text_problem(text);
}

// Every entry's header symbols (the exporters' own list) are distinct. That does not depend on the
// prefix, which the bank leaves to the header's maker: IDENT stands for it. A keyword does, and is
// found when the header is made; a name that is no identifier has its own problem.
void check_symbols(const Bank& bank, const std::vector<Position>& places, BankReading& reading) {
    std::vector<std::string_view> names;
    for (const BankEntry& entry : bank.entries) {
        names.push_back(entry.name);
    }
    for (const SymbolClash& clash : header_symbol_clashes(header_symbols("IDENT", names))) {
        if (clash.keyword || clash.sound.empty()) {
            continue;
        }
        const auto entry = std::find(names.begin(), names.end(), clash.sound);
        const Position where = places[static_cast<std::size_t>(entry - names.begin())];
        std::string message = "the sound's name " + in_quotes(clash.sound) + " gives the header symbol ";
        message += clash.symbol;
        message += ", which is ";
        message += clash.other.empty() ? "the header's own" : "\"" + clash.other + "\"'s";
        message += "; choose another name";
        reading.problems.push_back(
            {"",
             clash.sound,
             {where.line, where.column, clash.sound, std::move(message), ProblemKind::range}});
    }
}

}  // namespace

SoundReading read_sound(std::string_view text) {
    if (std::optional<SoundProblem> problem = too_large(text)) {
        return {std::nullopt, {std::move(*problem)}};
    }
    Handler handler(text, false);
    parse(text, handler);
    if (!handler.problems.empty() || !handler.sound) {
        return {std::nullopt, std::move(handler.problems)};
    }
    return {std::move(handler.sound), {}};
}

BankReading read_bank(std::string_view text, const std::function<LoadedText(const std::string& path)>& load) {
    BankReading reading;
    if (std::optional<SoundProblem> problem = too_large(text)) {
        reading.problems.push_back({"", "", std::move(*problem)});
        return reading;
    }
    Handler handler(text, true);
    parse(text, handler);
    for (std::size_t i = 0; i < handler.problems.size(); ++i) {
        SoundProblem& p = handler.problems[i];
        if (p.member == "bleepforge" && p.line == 0) {
            p.message = "the format version is missing: a bank holds \"bleepforge\": 3";
        }
        reading.problems.push_back({"", handler.problem_entries[i], std::move(p)});
    }
    if (!handler.bank) {
        return reading;
    }
    Bank& bank = *handler.bank;
    if (bank.entries.empty() && reading.problems.empty()) {
        reading.problems.push_back(
            {"",
             "",
             {0, 0, "sounds", "the bank holds no sound: give \"sounds\": {\"zap\": ...}",
              ProblemKind::member}});
    }
    check_symbols(bank, handler.entry_places, reading);
    for (BankEntry& entry : bank.entries) {
        if (entry.file.empty()) {
            continue;
        }
        reading.files.push_back(entry.file);
        const LoadedText loaded = load(entry.file);
        if (!loaded.ok) {
            reading.problems.push_back(
                {entry.file, entry.name, {0, 0, "", "cannot read: " + loaded.error, ProblemKind::syntax}});
            continue;
        }
        SoundReading file = read_sound(loaded.text);
        for (SoundProblem& p : file.problems) {
            reading.problems.push_back({entry.file, entry.name, std::move(p)});
        }
        if (file.sound) {
            entry.sound = std::move(*file.sound);
        }
    }
    if (reading.problems.empty()) {
        reading.bank = std::move(bank);
    }
    return reading;
}

}  // namespace bleepforge
