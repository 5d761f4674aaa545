// Layered sounds and banks: the mix derived by hand, the readers' problems naming a layer or an
// entry with its line and column, and what a bank holds.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>

#include "bleepforge/sound.hpp"
#include "test_sounds.hpp"

namespace bleepforge {
namespace {

using testing_support::problems_of;
using testing_support::read_ok;

Layer layer_of(const Sound& sound, double start_s, double mix_gain) {
    return {sound, start_s, mix_gain};
}

TEST(Layers, MixAsTheContractSays) {
    const Sound a = make_sound(SfxPreset::coin, ChipType::sid);
    Sound b = make_sound(SfxPreset::explosion, ChipType::nes);
    b.duration_s = 0.3;
    const SampleBuffer sa = render_sound(a, 22050);
    const SampleBuffer sb = render_sound(b, 22050);

    // One layer from 0 at a mix gain of 1: the sound's own bits, negative zeros included.
    Sound one;
    one.layers = {layer_of(a, 0.0, 1.0)};
    const SampleBuffer alone = render_sound(one, 22050);
    ASSERT_EQ(alone.size(), sa.size());
    for (std::size_t i = 0; i < sa.size(); ++i) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(alone[i]), std::bit_cast<std::uint32_t>(sa[i])) << i;
    }

    // Two layers, the second from a start that is no whole sample: floor(0.60002 * 22050) = 13230.
    Sound two;
    two.layers = {layer_of(a, 0.0, 0.5), layer_of(b, 0.60002, 0.75)};
    const SampleBuffer mix = render_sound(two, 22050);
    const std::size_t begins = 13230;
    ASSERT_EQ(mix.size(), begins + sb.size());  // the last layer to end sets the length
    for (std::size_t i = 0; i < mix.size(); ++i) {
        const bool first = i < sa.size();
        const bool second = i >= begins;
        double sum = 0.0;
        if (first) {
            sum = 0.5 * static_cast<double>(sa[i]);
        }
        if (second) {
            const double term = 0.75 * static_cast<double>(sb[i - begins]);
            sum = first ? sum + term : term;
        }
        const float expected =
            first || second ? static_cast<float>(sum) : 0.0f;  // a gap between them is silent
        ASSERT_EQ(std::bit_cast<std::uint32_t>(mix[i]), std::bit_cast<std::uint32_t>(expected)) << i;
    }

    // A mix gain of 2 clips at full scale, after the layer's own gain and clip: a pulse of 0.75.
    const Sound pulse = make_sound(SfxPreset::blip, ChipType::gameboy);
    const SampleBuffer sp = render_sound(pulse, 22050);
    Sound loud;
    loud.layers = {layer_of(pulse, 0.0, 2.0)};
    std::size_t clipped = 0;
    const SampleBuffer hot = render_sound(loud, 22050);
    ASSERT_EQ(hot.size(), sp.size());
    for (std::size_t i = 0; i < hot.size(); ++i) {
        const float doubled = static_cast<float>(2.0 * static_cast<double>(sp[i]));
        ASSERT_EQ(hot[i], std::fmax(-1.0f, std::fmin(1.0f, doubled))) << i;
        clipped += std::fabs(hot[i]) == 1.0f;
    }
    EXPECT_GT(clipped, 100U);
}

TEST(Layers, StreamInAnyPiecesToTheMixsBits) {
    Sound two;
    two.layers = {layer_of(random_sound(SfxPreset::hit, ChipType::sid, 4), 0.0123, 0.6),
                  layer_of(random_sound(SfxPreset::explosion, ChipType::ym2612, 9), 0.0, 0.4)};
    const SampleBuffer whole = render_sound(two, 44100);
    for (const std::size_t size : {1U, 7U, 256U, 1000U}) {
        Voice voice = start_sound(two, 44100);
        SampleBuffer pieces;
        std::vector<float> piece(size);
        for (std::size_t n; (n = render_voice(voice, piece)) > 0;) {
            pieces.insert(pieces.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
        }
        ASSERT_EQ(pieces.size(), whole.size());
        for (std::size_t i = 0; i < whole.size(); ++i) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(pieces[i]), std::bit_cast<std::uint32_t>(whole[i]))
                << size;
        }
    }
}

TEST(Layers, ReadWriteAndNameEachLayersProblems) {
    const Sound layered = read_ok(R"({"bleepforge": 2, "layers": [
        {"preset": "explosion", "chip": "nes", "mix_gain": 0.6},
        {"preset": "hit", "chip": "sid", "decay": 0.3, "start": 0.0105}]})");
    ASSERT_EQ(layered.layers.size(), 2U);
    EXPECT_EQ(layered.layers[0].start_s, 0.0);
    EXPECT_EQ(layered.layers[0].mix_gain, 0.6);
    EXPECT_EQ(layered.layers[1].sound.patch.decay, 0.3);
    EXPECT_EQ(layered.layers[1].start_s, 0.0105);
    EXPECT_EQ(layered.layers[1].mix_gain, 1.0);
    const std::string text = write_sound(layered);
    EXPECT_EQ(write_sound(read_ok(text)), text);
    EXPECT_NE(text.find("\n  \"layers\": [\n    {\n      \"preset\": \"explosion\",\n"), std::string::npos);
    EXPECT_TRUE(check_sound(layered).empty());

    EXPECT_EQ(problems_of("{\n \"bleepforge\": 2,\n \"preset\": \"coin\",\n \"layers\": [\n"
                          "  {\"preset\": \"explosion\", \"decay\": 99},\n"
                          "  {\"bleepforge\": 2, \"layers\": []},\n"
                          "  {\"start\": -1, \"mix_gain\": \"x\", \"atack\": 1}\n ]\n}"),
              "s.bleep:3:2: \"preset\": a sound with layers holds nothing of its own beside them; give it to "
              "each layer\n"
              "s.bleep:5:27: \"layers[0].decay\" is 99, outside its range: 0 to 60 s\n"
              "s.bleep:6:4: \"layers[1].bleepforge\": the format version stays at the top of the file\n"
              "s.bleep:6:21: \"layers[1].layers\": a layer holds no layers of its own\n"
              "s.bleep:7:4: \"layers[2].start\" is -1, outside its range: 0 to 60 s\n"
              "s.bleep:7:17: \"layers[2].mix_gain\" must be a number, not a string\n"
              "s.bleep:7:34: unknown member \"layers[2].atack\" (did you mean \"layers[2].attack\"?)\n");
    EXPECT_EQ(problems_of(R"({"bleepforge": 2, "layers": []})"),
              "s.bleep:1:19: \"layers\" holds 0 sounds; a layered sound holds 1 to 8\n");
    EXPECT_EQ(problems_of(R"({"bleepforge": 2, "layers": [{}, {}, {}, {}, {}, {}, {}, {}, {}]})"),
              "s.bleep:1:19: \"layers\" holds 9 sounds; a layered sound holds 1 to 8\n");
    EXPECT_EQ(problems_of(R"({"bleepforge": 1, "layers": [{}]})"),
              "s.bleep:1:19: \"layers\" came with format 2: the file says \"bleepforge\": 1\n");
    EXPECT_EQ(problems_of(R"({"bleepforge": 2, "layers": {"a": 1}})"),
              "s.bleep:1:19: \"layers\" must be a list of sounds, [ {...}, ... ], not an object\n");
    // A sound built in code is held to the same: its layers named, each within its ranges.
    Sound odd = layered;
    odd.layers[1].mix_gain = 3.0;
    odd.layers[0].sound.layers = {layer_of(make_sound(SfxPreset::blip, ChipType::nes), 0.0, 1.0)};
    std::vector<std::string> members;
    for (const SoundProblem& p : check_sound(odd)) {
        members.push_back(p.member);
    }
    EXPECT_EQ(members, (std::vector<std::string>{"layers[0].layers", "layers[1].mix_gain"}));
}

TEST(Layers, VaryLayerByLayerInsideTheirShape) {
    const Sound mix = random_layered_sound(SfxPreset::explosion, ChipType::nes, 12, 3);
    ASSERT_EQ(mix.layers.size(), 3U);
    EXPECT_EQ(mix.layers[0].sound.preset, SfxPreset::explosion);
    EXPECT_EQ(mix.layers[1].sound.preset, SfxPreset::hit);  // a falling tone over the noise body
    EXPECT_EQ(mix.layers[0].start_s, 0.0);
    double shares = 0.0;
    for (const Layer& layer : mix.layers) {
        shares += layer.mix_gain;
    }
    EXPECT_LE(shares, 1.0);
    float peak = 0.0f;
    for (const float v : render_sound(mix, 44100)) {
        peak = std::max(peak, std::fabs(v));
    }
    EXPECT_GT(peak, 0.05f);
    EXPECT_LT(peak, 1.0f);
    EXPECT_TRUE(check_sound(mix).empty());
    EXPECT_EQ(write_sound(random_layered_sound(SfxPreset::explosion, ChipType::nes, 12, 3)),
              write_sound(mix));

    const Sound moved = mutate_sound(mix, 0.5, 3);
    ASSERT_EQ(moved.layers.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(moved.layers[i].start_s, mix.layers[i].start_s);
        EXPECT_EQ(moved.layers[i].mix_gain, mix.layers[i].mix_gain);
        EXPECT_NE(moved.layers[i].sound.patch.base_freq, mix.layers[i].sound.patch.base_freq);
    }
    EXPECT_EQ(write_sound(mutate_sound(mix, 0.0, 3)), write_sound(mix));
}

// A bank's referenced files, from a map instead of a folder.
BankReading read_bank_with(std::string_view text, const std::map<std::string, std::string>& files) {
    return read_bank(text, [&](const std::string& path) {
        const auto found = files.find(path);
        return found == files.end() ? LoadedText{false, "", "No such file or directory"}
                                    : LoadedText{true, found->second, ""};
    });
}

std::string bank_problems(const BankReading& reading) {
    std::string lines;
    for (const BankProblem& p : reading.problems) {
        lines += describe(p.problem, p.file.empty() ? "game.bleepbank" : p.file) +
                 (p.entry.empty() ? "" : " [" + p.entry + "]") + "\n";
    }
    return lines;
}

TEST(Banks, HoldNamedSoundsInlineAndFromFilesInTheirOrder) {
    const std::map<std::string, std::string> files{
        {"sfx/zap.bleep", write_sound(make_sound(SfxPreset::laser, ChipType::sid))}};
    const BankReading reading = read_bank_with(R"(// the game's sounds
        {"bleepforge": 2, "sounds": {
            "zap": "sfx/zap.bleep",
            "coin": {"preset": "coin", "chip": "gameboy"},
            "chord": {"layers": [{"preset": "coin"}, {"preset": "coin", "jump1_semitones": 7, "mix_gain": 0.5}]}}})",
                                               files);
    ASSERT_TRUE(reading.bank) << bank_problems(reading);
    const Bank& bank = *reading.bank;
    ASSERT_EQ(bank.entries.size(), 3U);
    EXPECT_EQ(bank.entries[0].name, "zap");
    EXPECT_EQ(bank.entries[0].file, "sfx/zap.bleep");
    EXPECT_EQ(write_sound(bank.entries[0].sound), files.at("sfx/zap.bleep"));
    EXPECT_EQ(bank.entries[1].name, "coin");
    EXPECT_EQ(write_sound(bank.entries[1].sound),
              write_sound(make_sound(SfxPreset::coin, ChipType::gameboy)));
    EXPECT_EQ(bank.entries[2].sound.layers.size(), 2U);
    EXPECT_EQ(reading.files, std::vector<std::string>{"sfx/zap.bleep"});
}

TEST(Banks, NameEachProblemsEntryAndFile) {
    const std::map<std::string, std::string> files{
        {"bad.bleep", "{\n  \"bleepforge\": 2,\n  \"decay\": -1\n}\n"}};
    const BankReading reading = read_bank_with(
        "{\"bleepforge\": 2, \"sounds\": {\n"
        "  \"zap\": \"missing.bleep\",\n"
        "  \"2x\": {},\n"
        "  \"count\": {},\n"
        "  \"a\": {\"decay\": 99},\n"
        "  \"a_pcm\": {},\n"
        "  \"b\": 3,\n"
        "  \"c\": \"bad.bleep\"\n"
        "}}",
        files);
    EXPECT_FALSE(reading.bank);
    EXPECT_EQ(
        bank_problems(reading),
        "game.bleepbank:3:3: the sound's name \"2x\" is not a C identifier (letters, digits and _, not "
        "starting with a "
        "digit; not a keyword), which a header's symbols need\n"
        "game.bleepbank:5:9: \"a.decay\" is 99, outside its range: 0 to 60 s [a]\n"
        "game.bleepbank:7:3: \"b\" must be a sound, { ... }, or a sound file's path in quotes, not a number\n"
        "game.bleepbank:4:3: the sound's name \"count\" gives the header symbol IDENT_count, which is the "
        "header's own; "
        "choose another name [count]\n"
        "game.bleepbank:6:3: the sound's name \"a_pcm\" gives the header symbol IDENT_a_pcm, which is "
        "\"a\"'s; choose "
        "another name [a_pcm]\n"
        "missing.bleep: cannot read: No such file or directory [zap]\n"
        "bad.bleep:3:3: \"decay\" is -1, outside its range: 0 to 60 s [c]\n");
    EXPECT_EQ(bank_problems(read_bank_with(R"({"bleepforge": 1, "sounds": {"a": {}}})", {})),
              "game.bleepbank:1:2: \"bleepforge\" is 1, but a bank is a file of format 2 or 3: "
              "\"bleepforge\": 3\n");
    EXPECT_EQ(bank_problems(read_bank_with(R"({"sounds": {"a": {}}})", {})),
              "game.bleepbank: the format version is missing: a bank holds \"bleepforge\": 3\n");
    EXPECT_EQ(bank_problems(read_bank_with(R"({"bleepforge": 2, "sounds": {"a": {}, "a": {}}})", {})),
              "game.bleepbank:1:39: \"a\" is given twice (first on line 1)\n");
    // The include guard is the header's own name too: game_H for a sound "H" would not compile.
    EXPECT_EQ(bank_problems(read_bank_with(R"({"bleepforge": 2, "sounds": {"H": {}, "h": {}}})", {})),
              "game.bleepbank:1:30: the sound's name \"H\" gives the header symbol IDENT_H, which is the "
              "header's own; choose another name [H]\n");
}

}  // namespace
}  // namespace bleepforge
