#include "members.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bleepforge::sound_members {
namespace {

// The shortest decimal digits that read back to value (positive, finite, not zero), and the
// decimal exponent of the first: value = d.ddd x 10^exponent.
struct Digits {
    std::string digits;
    int exponent;
};

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
Digits shortest_digits(double value) {
    char text[40];
    const char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
    const std::string_view s(text, static_cast<std::size_t>(end - text));
    const std::size_t e = s.find('e');
    Digits d{std::string(s.substr(0, e)), 0};
    d.digits.erase(std::remove(d.digits.begin(), d.digits.end(), '.'), d.digits.end());
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), d.exponent);
    return d;
}
#else
// Without a shortest to_chars: the fewest significant digits whose correctly rounded decimal reads
// back to the value. The closest decimal of that length is the one to_chars would choose too.
Digits shortest_digits(double value) {
    char text[40];
    for (int precision = 1;; ++precision) {
        std::snprintf(text, sizeof text, "%.*e", precision - 1, value);
        if (std::strtod(text, nullptr) == value || precision == 17) {
            break;
        }
    }
    const std::string_view s(text);
    const std::size_t e = s.find('e');
    Digits d{std::string(s.substr(0, e)), std::atoi(text + e + 1)};
    d.digits.erase(std::remove(d.digits.begin(), d.digits.end(), '.'), d.digits.end());
    return d;
}
#endif

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0U : 1U)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

const SoundField& field_of(double SfxPatch::*member) {
    const std::span<const SoundField> fields = sound_fields();
    const auto found =
        std::find_if(fields.begin(), fields.end(), [&](const SoundField& f) { return f.member == member; });
    return found != fields.end() ? *found : fields.back();
}

double rounding_scale(const SoundField& field) {
    double scale = 1.0;
    for (int i = 0; i < field.decimals; ++i) {
        scale *= 10.0;  // exact up to 10^22
    }
    return scale;
}

std::optional<std::string> range_problem(const SoundField& field, double value, std::string_view prefix) {
    const std::string name = "\"" + std::string(prefix) + std::string(field.name) + "\"";
    if (!std::isfinite(value)) {
        return name + " must be a finite number";
    }
    if (field.integer && value != std::floor(value)) {
        return name + " is " + format_number(value) +
               ", but it takes whole numbers only: " + range_text(field);
    }
    const bool below = field.min_exclusive ? !(value > field.min) : value < field.min;
    if ((below && !(field.zero_is_off && value == 0.0)) || value > field.max) {
        return name + " is " + format_number(value) + ", outside its range: " + range_text(field);
    }
    return std::nullopt;
}

std::string format_number(double value) {
    if (!std::isfinite(value)) {
        return "null";  // no JSON number: the file is refused when read, never silently changed
    }
    if (value == 0.0) {
        return "0";
    }
    std::string text = value < 0.0 ? "-" : "";
    const Digits d = shortest_digits(std::fabs(value));
    const auto k = static_cast<int>(d.digits.size());
    const int n = d.exponent + 1;  // where the decimal point goes, counted from the first digit
    if (k <= n && n <= 21) {
        text.append(d.digits).append(static_cast<std::size_t>(n - k), '0');
    } else if (0 < n && n <= 21) {
        const auto point = static_cast<std::size_t>(n);
        text.append(d.digits, 0, point).append(1, '.').append(d.digits, point);
    } else if (-6 < n && n <= 0) {
        text.append("0.").append(static_cast<std::size_t>(-n), '0').append(d.digits);
    } else {
        text.append(d.digits, 0, 1);
        if (k > 1) {
            text.append(1, '.').append(d.digits, 1);
        }
        text.append(n - 1 < 0 ? "e-" : "e+").append(std::to_string(std::abs(n - 1)));
    }
    return text;
}

std::optional<double> parse_number(std::string_view text) {
    double value = 0.0;
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too large is no number; too small reads as zero, as a correctly rounding strtod gives it.
        const std::string copy(text);
        return std::isinf(std::strtod(copy.c_str(), nullptr)) ? std::nullopt : std::optional<double>(0.0);
    }
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
#else
    // strtod reads a JSON number the same in every locale that the C runtime starts in.
    const std::string copy(text);
    value = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(value)) {
        return std::nullopt;
    }
#endif
    return value + 0.0;  // a negative zero reads as zero
}

std::string_view closest_word(std::string_view word, std::span<const std::string_view> candidates) {
    const std::string folded = fold_ascii_case(word);
    const std::size_t allowed = word.size() <= 4 ? 1 : 2;
    std::string_view best;
    std::size_t best_distance = allowed + 1;
    for (const std::string_view candidate : candidates) {
        if (folded.size() > candidate.size() + allowed) {
            continue;  // more edits away than allowed, whatever the letters
        }
        const std::size_t distance = folded == candidate ? 0 : edit_distance(folded, candidate);
        if (distance < best_distance) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

}  // namespace bleepforge::sound_members

namespace bleepforge {

std::string range_text(const SoundField& field) {
    using sound_members::format_number;
    const std::string unit = field.unit.empty() ? "" : " " + std::string(field.unit);
    if (field.zero_is_off) {
        return "0 (off), or " + format_number(field.min) + " to " + format_number(field.max) + unit;
    }
    if (field.min_exclusive) {
        return "above " + format_number(field.min) + " and at most " + format_number(field.max) + unit;
    }
    return format_number(field.min) + " to " + format_number(field.max) + unit;
}

}  // namespace bleepforge
