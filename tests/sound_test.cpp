#include "bleepforge/sound.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "members.hpp"
#include "test_random.hpp"
#include "test_scale.hpp"
#include "test_sounds.hpp"

namespace bleepforge {
namespace {

using testing_support::problems_of;
using testing_support::read_ok;

bool same_bits(const Sound& a, const Sound& b) {
    if (a.preset != b.preset || a.patch.chip != b.patch.chip) {
        return false;
    }
    return std::all_of(sound_fields().begin(), sound_fields().end(), [&](const SoundField& f) {
        return std::bit_cast<std::uint64_t>(sound_members::value_of(a, f)) ==
               std::bit_cast<std::uint64_t>(sound_members::value_of(b, f));
    });
}

TEST(ReadSound, StartsFromThePresetOrTheDefaultsAndAppliesEveryMember) {
    // Comments of both kinds, the members in any order.
    const Sound laser_fm = read_ok(R"(// zap
        { /* the FM voice */ "chip": "ym2612", "preset": "laser", "bleepforge": 1 })");
    EXPECT_TRUE(same_bits(laser_fm, make_sound(SfxPreset::laser, ChipType::ym2612)));
    EXPECT_EQ(laser_fm.patch.fm_index, 2.5);

    // No preset: the defaults with concert pitch and, on the ym2612, its FM values.
    const Sound plain = read_ok(R"({"bleepforge": 1, "chip": "ym2612"})");
    EXPECT_FALSE(plain.preset);
    EXPECT_EQ(plain.patch.base_freq, 440.0);
    EXPECT_EQ(plain.patch.decay, 0.1);
    EXPECT_EQ(plain.patch.fm_ratio, 3.0);
    EXPECT_TRUE(same_bits(read_ok(R"({"bleepforge": 1})"), default_sound(ChipType::nes)));

    // Members override the start; integers, exponents and -0 are numbers like any other.
    const Sound tuned = read_ok(R"({"bleepforge": 1, "preset": "coin", "base_freq": 1000, "attack": 2.5e-3,
        "noise": -0, "fm_index": 0.1, "duration": 1.25})");
    SfxPatch expected = make_patch(SfxPreset::coin, ChipType::nes);
    expected.base_freq = 1000.0;
    expected.attack = 0.0025;
    expected.fm_index = 0.1;
    EXPECT_TRUE(same_bits(tuned, {SfxPreset::coin, expected, 1.25, {}}));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(tuned.patch.noise), 0U);  // a negative zero reads as zero

    // The same for a negative zero written as a float, in every spelling: read as +0, written as 0.
    for (const char* zero : {"-0.0", "-0e5", "-0.000", "-0E-3"}) {
        const Sound read = read_ok(std::string(R"({"bleepforge": 1, "decay": )") + zero + "}");
        EXPECT_EQ(std::bit_cast<std::uint64_t>(read.patch.decay), 0U) << zero;
        EXPECT_NE(write_sound(read).find("\"decay\": 0,\n"), std::string::npos) << zero;
    }
}

// The size limit itself is allowed; one byte more is refused before any parsing.
TEST(ReadSound, ReadsAFileOfExactlyTheSizeLimitAndRefusesOneByteMore) {
    std::string text = R"({"bleepforge": 1, "preset": "coin"})";
    text.resize(max_sound_file_size, ' ');
    const SoundReading at_limit = read_sound(text);
    ASSERT_TRUE(at_limit.sound) << problems_of(text);
    EXPECT_EQ(at_limit.sound->preset, SfxPreset::coin);
    text += ' ';
    const SoundReading beyond = read_sound(text);
    ASSERT_EQ(beyond.problems.size(), 1U);
    EXPECT_EQ(beyond.problems[0].line, 0U);  // refused unread: no position in the text
    EXPECT_EQ(describe(beyond.problems[0], "s.bleep"), "s.bleep: is larger than a sound file can be (1 MiB)");
    // Even text that is no JSON at all gets only that one problem.
    EXPECT_EQ(problems_of(std::string(max_sound_file_size + 1, '@')),
              "s.bleep: is larger than a sound file can be (1 MiB)\n");
}

TEST(ReadSound, ReportsEveryProblemWithItsLineColumnAndMember) {
    const struct {
        const char* text;
        const char* problems;
    } cases[] = {
        {"{\"bleepforge\": 1,\n  \"atack\": 0.1}",
         "s.bleep:2:3: unknown member \"atack\" (did you mean \"attack\"?)\n"},
        {"{\"bleepforge\": 1, \"Decay\": 1}",
         "s.bleep:1:19: unknown member \"Decay\" (did you mean \"decay\"?)\n"},
        {"{\"bleepforge\": 1, \"wobble\": 1}", "s.bleep:1:19: unknown member \"wobble\"\n"},
        {"{\"bleepforge\": 1, \"decay\": \"0.2\"}",
         "s.bleep:1:19: \"decay\" must be a number, not a string\n"},
        {"{\"bleepforge\": 1, \"chip\": 3}",
         "s.bleep:1:19: \"chip\" must be a word in quotes, not a number\n"},
        {"{\"bleepforge\": 1, \"duty\": [0.5]}", "s.bleep:1:19: \"duty\" must be a number, not an array\n"},
        {"{\"bleepforge\": 1, \"duty\": {\"a\": 1}}",
         "s.bleep:1:19: \"duty\" must be a number, not an object\n"},
        {"{\"bleepforge\": 1, \"duty\": null}", "s.bleep:1:19: \"duty\" must be a number, not null\n"},
        {"{\"bleepforge\": 1,\n\"duty\": 0.5,\n\"duty\": 0.25}",
         "s.bleep:3:1: \"duty\" is given twice (first on line 2)\n"},
        {"{\"bleepforge\": 1, \"noise\": 1e999}",
         "s.bleep:1:19: \"noise\" is 1e999, too large for a number\n"},
        {"{\"bleepforge\": 1, \"base_freq\": 19.99}",
         "s.bleep:1:19: \"base_freq\" is 19.99, outside its range: 20 to 20000 Hz\n"},
        {"{\"bleepforge\": 1, \"release\": 60.5}",
         "s.bleep:1:19: \"release\" is 60.5, outside its range: 0 to 60 s\n"},
        {"{\"bleepforge\": 1, \"duration\": 0}",
         "s.bleep:1:19: \"duration\" is 0, outside its range: 0.001 to 60 s\n"},
        {"{\"bleepforge\": 1, \"duration\": 0.00001}",
         "s.bleep:1:19: \"duration\" is 0.00001, outside its range: 0.001 to 60 s\n"},
        {"{\"bleepforge\": 1, \"preset\": \"lazer\"}",
         "s.bleep:1:19: \"preset\" is \"lazer\", not one of laser, jump, explosion, coin, powerup, hit, blip "
         "or "
         "game_over (did you mean \"laser\"?)\n"},
        {"{\"bleepforge\": 1, \"chip\": \"genesis\"}",
         "s.bleep:1:19: \"chip\" is \"genesis\", not one of nes, sid, gameboy or ym2612 (did you mean "
         "\"ym2612\"?)\n"},
        {"{\"chip\": \"sid\"}",
         "s.bleep: the format version is missing: a sound file holds \"bleepforge\": 3\n"},
        {"{\"bleepforge\": 4}",
         "s.bleep:1:2: \"bleepforge\" is 4, but this build reads sound files of versions 1 to 3\n"},
        // Format 3's own member, its type, and a chip without a hardware model.
        {"{\"bleepforge\": 2, \"hardware\": false}",
         "s.bleep:1:19: \"hardware\" is a member of format 3: the file says \"bleepforge\": 2\n"},
        {"{\"bleepforge\": 3, \"hardware\": 1}",
         "s.bleep:1:19: \"hardware\" must be true or false, not a number\n"},
        {"{\"bleepforge\": 3, \"duty\": true}",
         "s.bleep:1:19: \"duty\" must be a number, not true or false\n"},
        {"{\"bleepforge\": 3, \"hardware\": true, \"chip\": \"sid\"}",
         "s.bleep:1:19: \"hardware\" is true, but the sid has no hardware model (the nes and the gameboy have one)\n"},
        {"{\"bleepforge\": 2, \"layers\": [{\"chip\": \"ym2612\", \"hardware\": true}]}",
         "s.bleep:1:49: \"layers[0].hardware\" is true, but the ym2612 has no hardware model (the nes and "
         "the gameboy have one)\n"
         "s.bleep:1:49: \"layers[0].hardware\" is a member of format 3: the file says \"bleepforge\": 2\n"},
        // Format 1 holds the original members only; format 2's integers and the sample-and-hold's
        // gap below its range are the format's too.
        {"{\"bleepforge\": 1,\n \"gain\": 0.5, \"duty\": 2,\n \"punch\": 0.1}",
         "s.bleep:2:2: \"gain\" is a member of format 2: the file says \"bleepforge\": 1\n"
         "s.bleep:2:15: \"duty\" is 2, outside its range: 0 to 1\n"
         "s.bleep:3:2: \"punch\" is a member of format 2: the file says \"bleepforge\": 1\n"},
        {"{\"bleepforge\": 2, \"jump1_semitones\": 1.5}",
         "s.bleep:1:19: \"jump1_semitones\" is 1.5, but it takes whole numbers only: -24 to 24\n"},
        {"{\"bleepforge\": 2, \"bitcrush_bits\": 0}",
         "s.bleep:1:19: \"bitcrush_bits\" is 0, outside its range: 1 to 16\n"},
        {"{\"bleepforge\": 2, \"downsample_rate\": 50}",
         "s.bleep:1:19: \"downsample_rate\" is 50, outside its range: 0 (off), or 100 to 192000 Hz\n"},
        {"{\"bleepforge\": 2, \"freq_slide_accel\": 100001}",
         "s.bleep:1:19: \"freq_slide_accel\" is 100001, outside its range: -100000 to 100000 Hz/s\xC2\xB2\n"},
        {"{\"bleepforge\": \"1\"}", "s.bleep:1:2: \"bleepforge\" must be a number, not a string\n"},
        {"{\"bleepforge\": 1} {}",
         "s.bleep:1:19: text after the end of the object: a sound file holds one object\n"},
        {"[1]", "s.bleep:1:1: a sound file holds one object, { ... }, not an array\n"},
        {"", "s.bleep: the file is empty: a sound file holds one object, { \"bleepforge\": 1, ... }\n"},
        // Columns count characters: "zz" starts in column 34, byte 35, after the two-byte é.
        {"{\"bleepforge\": 1, \"preset\": \"\xC3\xA9\", \"zz\": 1}",
         "s.bleep:1:19: \"preset\" is \"\xC3\xA9\", not one of laser, jump, explosion, coin, powerup, hit, "
         "blip or "
         "game_over\ns.bleep:1:34: unknown member \"zz\"\n"},
        // Every problem, in the order of the text, before a syntax error ends the reading.
        {"{\"bleepforge\": 4, \"duty\": -1, \"chip\": \"c64\",",
         "s.bleep:1:2: \"bleepforge\" is 4, but this build reads sound files of versions 1 to 3\n"
         "s.bleep:1:19: \"duty\" is -1, outside its range: 0 to 1\n"
         "s.bleep:1:31: \"chip\" is \"c64\", not one of nes, sid, gameboy or ym2612\n"
         "s.bleep:1:45: the file ends before the object is closed: a } is missing\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(problems_of(c.text), c.problems) << c.text;
        EXPECT_FALSE(read_sound(c.text).sound) << c.text;
    }
    EXPECT_EQ(problems_of(std::string(max_sound_file_size + 1, ' ')),
              "s.bleep: is larger than a sound file can be (1 MiB)\n");
}

// Messages about the text speak of the user's file, point where the mistake is and never echo
// more than about sixty characters of it.
TEST(ReadSound, SaysWhatIsWrongWithTheTextInTheUsersWords) {
    const std::string long_word(1 << 19, 'x');
    const struct {
        std::string text;
        std::string problems;
    } cases[] = {
        {"{\n  \"bleepforge\": 1,\n  \"preset\": \"laser\",\n}\n",
         "s.bleep:3:20: trailing comma after the last member\n"},
        {"{\"bleepforge\": 1, // note\n /* more */ }",
         "s.bleep:1:17: trailing comma after the last member\n"},
        {"  \n\t\r\n",
         "s.bleep: the file is empty: a sound file holds one object, { \"bleepforge\": 1, ... }\n"},
        {"// only a comment\n/* and another */\n",
         "s.bleep: the file is empty: a sound file holds one object, { \"bleepforge\": 1, ... }\n"},
        {"{\n  \"bleepforge\": 1,\n  \"preset\": 'laser'\n}\n",
         "s.bleep:3:13: strings are written in double quotes: \"laser\", not 'laser'\n"},
        {"{\"bleepforge\": 1, \"chip\": 'sid\n}",
         "s.bleep:1:27: strings are written in double quotes: \"sid\", not 'sid'\n"},
        {std::string("{\"bleepforge\": 1}\0", 18),
         "s.bleep:1:18: the file is not text: a sound file is UTF-8 text, and this byte is 0x00\n"},
        {"\x89PNG\r\n\x1a\n",
         "s.bleep:1:1: the file is not text: a sound file is UTF-8 text, and this byte is 0x89\n"},
        {"{\"bleepforge\": 1, \"preset\": \"\xC3\x28\"}",
         "s.bleep:1:30: the file is not text: a sound file is UTF-8 text, and this byte is 0xC3\n"},
        {"{\"bleepforge\": 1 \"preset\": \"hit\"}", "s.bleep:1:18: a comma is missing before this member\n"},
        {"{\"bleepforge\": 1,, \"preset\": \"hit\"}", "s.bleep:1:18: two commas in a row\n"},
        {"{\"bleepforge\": 1, \"decay\": 0.1s}",
         "s.bleep:1:28: \"0.1s\" is not a value: a number, a word in double quotes, true, false or null\n"},
        {"{\"bleepforge\": 1, \"decay\" 0.1}",
         "s.bleep:1:27: a colon is missing between the member's name and its value\n"},
        {"{\"bleepforge\": 1, \"duty\": 0.5",
         "s.bleep:1:30: the file ends before the object is closed: a } is missing\n"},
        {"{\"bleepforge\": 1, \"preset\": \"" + long_word + "\"}",
         "s.bleep:1:19: \"preset\" is \"" + long_word.substr(0, 60) +
             "...\" (524288 characters), not one of laser, jump, explosion, coin, powerup, hit, blip or "
             "game_over\n"},
        {"{\"bleepforge\": 1, \"" + long_word + "\": 1}",
         "s.bleep:1:19: unknown member \"" + long_word.substr(0, 60) + "...\" (524288 characters)\n"},
        {"{\"bleepforge\": 1.5}",
         "s.bleep:1:2: \"bleepforge\" is 1.5, but this build reads sound files of versions 1 to 3\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(problems_of(c.text), c.problems) << c.text.substr(0, 80);
        for (const SoundProblem& p : read_sound(c.text).problems) {
            EXPECT_LT(p.message.size(), 200U);
            EXPECT_EQ(p.message.find("<U+"), std::string::npos);
            EXPECT_EQ(p.message.find("syntax error"), std::string::npos);
        }
    }
    // The version is a number, whichever way it is spelt, as a JSON Schema's integer is.
    for (const char* one : {"1.0", "1e0", "10e-1", "1.000"}) {
        EXPECT_TRUE(read_sound(std::string("{\"bleepforge\": ") + one + "}").sound) << one;
    }
}

// The comments before the object are what a rewrite keeps, exactly as written.
TEST(LeadingComments, AreTheCommentsBeforeTheObject) {
    EXPECT_EQ(leading_comments("// zap\n{\"bleepforge\": 1}"), "// zap\n");
    EXPECT_EQ(leading_comments("\n// a\n\n/* b\n c */ // d\n  {\"bleepforge\": 1 // e\n}"),
              "\n// a\n\n/* b\n c */ // d\n");
    EXPECT_EQ(leading_comments("{\"bleepforge\": 1} // after"), "");
    EXPECT_EQ(leading_comments("// crlf\r\n{}"), "// crlf\r\n");
    EXPECT_EQ(leading_comments(""), "");
}

TEST(WriteSound, WritesEveryMemberOneALineSectionBySection) {
    EXPECT_EQ(write_sound(make_sound(SfxPreset::laser, ChipType::ym2612)),
              "{\n"
              "  \"bleepforge\": 3,\n"
              "  \"preset\": \"laser\",\n"
              "  \"chip\": \"ym2612\",\n"
              "  \"hardware\": false,\n"
              "  \"base_freq\": 880,\n"
              "  \"freq_slide\": -1600,\n"
              "  \"freq_slide_accel\": 0,\n"
              "  \"jump1_semitones\": 0,\n"
              "  \"jump1_time\": 0,\n"
              "  \"jump2_semitones\": 0,\n"
              "  \"jump2_time\": 0,\n"
              "  \"repeat_rate\": 0,\n"
              "  \"vibrato_depth\": 0,\n"
              "  \"vibrato_rate\": 6,\n"
              "  \"attack\": 0.005,\n"
              "  \"decay\": 0.18,\n"
              "  \"sustain_time\": 0,\n"
              "  \"release\": 0.02,\n"
              "  \"sustain_level\": 0,\n"
              "  \"punch\": 0,\n"
              "  \"duration\": 0.5,\n"
              "  \"duty\": 0.25,\n"
              "  \"duty_sweep\": 0,\n"
              "  \"noise\": 0,\n"
              "  \"noise_below_hz\": 120,\n"
              "  \"fm_ratio\": 3,\n"
              "  \"fm_index\": 2.5,\n"
              "  \"filter_cutoff\": 1,\n"
              "  \"filter_sweep\": 0,\n"
              "  \"highpass_cutoff\": 0,\n"
              "  \"highpass_sweep\": 0,\n"
              "  \"tremolo_depth\": 0,\n"
              "  \"tremolo_rate\": 6,\n"
              "  \"phaser_offset\": 0,\n"
              "  \"phaser_sweep\": 0,\n"
              "  \"downsample_rate\": 0,\n"
              "  \"bitcrush_bits\": 16,\n"
              "  \"gain\": 1\n"
              "}\n");
    // A format-1 file reads with every stage neutral, and is written back as format 3.
    const Sound old = read_ok(R"({"bleepforge": 1, "preset": "coin", "chip": "sid"})");
    EXPECT_TRUE(same_bits(old, make_sound(SfxPreset::coin, ChipType::sid)));
    EXPECT_FALSE(stages_in_use(old.patch));
    EXPECT_TRUE(write_sound(old).starts_with("{\n  \"bleepforge\": 3,\n"));
    // A hardware sound reads back as one.
    Sound made = make_sound(SfxPreset::coin, ChipType::nes);
    made.patch.hardware = true;
    EXPECT_TRUE(read_ok(write_sound(made)).patch.hardware);
    // Without a preset there is no "preset" line; an unknown chip is written so it is refused.
    Sound odd = default_sound(ChipType::sid);
    EXPECT_EQ(write_sound(odd).find("preset"), std::string::npos);
    odd.patch.chip = static_cast<ChipType>(7);
    EXPECT_FALSE(read_sound(write_sound(odd)).sound);
}

TEST(WriteSound, WritesNumbersShortestInOneLayoutOnEveryBuild) {
    // The layout of JavaScript's String(number): fixed notation from 1e-7 up to 1e21.
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {880.0, "880"},
        {987.77, "987.77"},
        {-1600.0, "-1600"},
        {0.005, "0.005"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e-6, "0.000001"},
        {1.5e-7, "1.5e-7"},
        {1e-7, "1e-7"},
        {20000.0, "20000"},
        {1e21, "1e+21"},
        {123456789012345680000.0, "123456789012345680000"},
        {5e-324, "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {-0.0, "0"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sound_members::format_number(c.value), c.text);
        if (std::isfinite(c.value)) {
            EXPECT_EQ(sound_members::parse_number(c.text), c.value + 0.0) << c.text;
        }
    }
}

using testing_support::SplitMix;

TEST(WriteSound, ReadsBackToTheSamePatchBitForBit) {
    SplitMix rng{11};
    // The sound fuzzer goes on from here.
    for (std::uint64_t n = 0; n < testing_support::random_cases(4000, 800); ++n) {
        Sound sound = rng.next() % 3 == 0 ? default_sound(ChipType::nes)
                                          : make_sound(static_cast<SfxPreset>(rng.next() % 8), ChipType::nes);
        sound.patch.chip = static_cast<ChipType>(rng.next() % 4);
        for (const SoundField& field : sound_fields()) {
            // Anywhere in the range, with full precision, now and then at an end or tiny.
            const double u = rng.unit();
            const std::uint64_t pick = rng.next() % 8;
            double value = field.min + (field.max - field.min) * u;
            if (pick == 0) {
                value = field.max;
            } else if (pick == 1) {
                value = field.min_exclusive ? std::nextafter(field.min, field.max) : field.min;
            } else if (pick == 2) {
                value = std::max(field.min, 0.0) + u * 1e-9;
            } else if (pick == 3 && field.zero_is_off) {
                value = 0.0;
            }
            if (field.integer) {
                value = std::floor(value);
            }
            sound_members::set_value(sound, field, value);
        }
        ASSERT_TRUE(check_sound(sound).empty()) << write_sound(sound);
        const std::string text = write_sound(sound);
        const SoundReading back = read_sound(text);
        ASSERT_TRUE(back.sound) << text << problems_of(text);
        ASSERT_TRUE(same_bits(*back.sound, sound)) << text;
        ASSERT_EQ(write_sound(*back.sound), text);
    }
}

TEST(CheckSound, FindsWhatAReaderWouldRefuse) {
    Sound sound = make_sound(SfxPreset::hit, ChipType::sid);
    EXPECT_TRUE(check_sound(sound).empty());
    sound.patch.duty = 1.5;
    sound.patch.decay = std::numeric_limits<double>::infinity();
    sound.duration_s = 0.0;
    sound.patch.chip = static_cast<ChipType>(-1);
    sound.preset = static_cast<SfxPreset>(8);
    std::vector<std::string> members;
    for (const SoundProblem& p : check_sound(sound)) {
        members.push_back(p.member);
        EXPECT_EQ(p.line, 0U);
    }
    EXPECT_EQ(members, (std::vector<std::string>{"preset", "chip", "decay", "duration",
                                                 "duty"}));  // the table's order
}

// The schema that editors use must describe the same members and ranges as the reader.
TEST(SoundSchema, HasTheReadersMembersAndRanges) {
    std::ifstream in(BLEEPFORGE_SCHEMA_PATH);
    ASSERT_TRUE(in) << BLEEPFORGE_SCHEMA_PATH;
    const nlohmann::json schema = nlohmann::json::parse(in);
    const nlohmann::json& properties = schema.at("properties");
    EXPECT_EQ(schema.at("required"), nlohmann::json::array({"bleepforge"}));
    EXPECT_EQ(schema.at("additionalProperties"), false);
    EXPECT_EQ(properties.at("bleepforge").at("enum"), nlohmann::json::array({1, 2, sound_format_version}));
    EXPECT_EQ(properties.at("preset").at("enum"), nlohmann::json(preset_words));
    EXPECT_EQ(properties.at("chip").at("enum"), nlohmann::json(chip_words));
    EXPECT_EQ(properties.size(), 5 + sound_fields().size());  // and "hardware" and "layers"
    EXPECT_EQ(properties.at("hardware").at("type"), "boolean");
    const nlohmann::json& newer = schema.at("then").at("properties");
    for (const SoundField& field : sound_fields()) {
        SCOPED_TRACE(field.name);
        const nlohmann::json& property = properties.at(std::string(field.name));
        EXPECT_EQ(property.at("type"), field.integer ? "integer" : "number");
        const nlohmann::json& range = field.zero_is_off ? property.at("anyOf").at(1) : property;
        EXPECT_EQ(range.at(field.min_exclusive ? "exclusiveMinimum" : "minimum").get<double>(), field.min);
        EXPECT_EQ(range.at("maximum").get<double>(), field.max);
        EXPECT_EQ(newer.contains(std::string(field.name)), field.version > 1);
    }
}

}  // namespace
}  // namespace bleepforge
